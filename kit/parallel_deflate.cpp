#include "kit/parallel_deflate.h"

#include <algorithm>
#include <utility>

#include "base/result_codes.h"
#include "kit/zlib_stream.h"

namespace vxk5 {

namespace {

constexpr size_t kDictionarySize = 32768;  // deflate's whole history

}  // namespace

struct ParallelDeflater::Job {
    std::vector<uint8_t> dictionary;
    std::vector<uint8_t> input;
    bool last = false;
    std::string output;
    bool done = false;
    bool failed = false;
};

// One compressor's state, reset for every block.
struct ParallelDeflater::Compressor {
    kitformat::DeflateStream stream;
    bool ready = false;

    explicit Compressor(int level) { ready = stream.Init(level) == Z_OK; }

    // Compresses the job's input into its output; false when zlib fails.
    bool Compress(Job& job) {
        if (!ready) return false;
        z_stream& z = stream.Get();
        if (deflateReset(&z) != Z_OK) return false;
        if (!job.dictionary.empty() &&
            deflateSetDictionary(&z, job.dictionary.data(), static_cast<uInt>(job.dictionary.size())) != Z_OK) {
            return false;
        }
        z.next_in = job.input.data();
        z.avail_in = static_cast<uInt>(job.input.size());
        // Room for the worst case and the flush's marker; grown if ever short.
        job.output.resize(deflateBound(&z, job.input.size()) + 16);
        size_t produced = 0;
        const int flush = job.last ? Z_FINISH : Z_SYNC_FLUSH;
        for (;;) {
            z.next_out = reinterpret_cast<Bytef*>(job.output.data() + produced);
            z.avail_out = static_cast<uInt>(job.output.size() - produced);
            const int result = deflate(&z, flush);
            produced = job.output.size() - z.avail_out;
            if (result == Z_STREAM_ERROR) return false;
            if (job.last ? result == Z_STREAM_END : (z.avail_out != 0 && z.avail_in == 0)) break;
            if (result == Z_BUF_ERROR && z.avail_out != 0) return false;
            job.output.resize(job.output.size() * 2);
        }
        job.output.resize(produced);
        return true;
    }
};

ParallelDeflater::ParallelDeflater(int level, Sink sink, unsigned threads, size_t blockSize)
    : level_(level), blockSize_(std::max<size_t>(blockSize, 1)), sink_(std::move(sink)) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    block_.reserve(blockSize_);
    if (threads == 1) {
        inline_ = std::make_unique<Compressor>(level_);
        return;
    }
    for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
}

ParallelDeflater::~ParallelDeflater() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        todo_.clear();
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void ParallelDeflater::Work() {
    Compressor compressor(level_);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !todo_.empty(); });
        if (stopping_) return;
        std::shared_ptr<Job> job = std::move(todo_.front());
        todo_.pop_front();
        lock.unlock();
        const bool ok = compressor.Compress(*job);
        lock.lock();
        job->failed = !ok;
        job->done = true;
        changed_.notify_all();
    }
}

uint32_t ParallelDeflater::DrainDone(std::unique_lock<std::mutex>& lock, bool all) {
    for (;;) {
        if (inOrder_.empty()) return 0;
        if (!inOrder_.front()->done) {
            if (!all) return 0;
            changed_.wait(lock, [this] { return inOrder_.front()->done; });
        }
        std::shared_ptr<Job> job = std::move(inOrder_.front());
        inOrder_.pop_front();
        if (job->failed) return ERR_INVALID_PARAMETER;
        lock.unlock();
        const uint32_t code = sink_(reinterpret_cast<const uint8_t*>(job->output.data()), job->output.size());
        lock.lock();
        if (code != 0) return code;
    }
}

uint32_t ParallelDeflater::Submit(bool last) {
    auto job = std::make_shared<Job>();
    job->dictionary = dictionary_;
    job->last = last;
    // The next block's dictionary: the last 32 KiB of the stream so far.
    if (block_.size() >= kDictionarySize) {
        dictionary_.assign(block_.end() - kDictionarySize, block_.end());
    } else {
        dictionary_.insert(dictionary_.end(), block_.begin(), block_.end());
        if (dictionary_.size() > kDictionarySize) {
            dictionary_.erase(dictionary_.begin(), dictionary_.end() - kDictionarySize);
        }
    }
    job->input.swap(block_);
    block_.clear();
    block_.reserve(blockSize_);

    if (inline_) {
        if (!inline_->Compress(*job)) return ERR_INVALID_PARAMETER;
        return sink_(reinterpret_cast<const uint8_t*>(job->output.data()), job->output.size());
    }
    std::unique_lock<std::mutex> lock(mutex_);
    inOrder_.push_back(job);
    todo_.push_back(std::move(job));
    changed_.notify_all();
    // Two blocks per thread in flight at most: memory stays bounded, and the
    // threads never wait for the next block.
    const size_t limit = 2 * workers_.size();
    if (uint32_t code = DrainDone(lock, false); code != 0) return code;
    while (inOrder_.size() > limit) {
        changed_.wait(lock, [this] { return inOrder_.front()->done; });
        if (uint32_t code = DrainDone(lock, false); code != 0) return code;
    }
    return 0;
}

uint32_t ParallelDeflater::Write(const void* bytes, size_t size) {
    if (failure_ != 0) return failure_;
    if (finished_) return ERR_INVALID_PARAMETER;
    const uint8_t* next = static_cast<const uint8_t*>(bytes);
    while (size != 0) {
        const size_t piece = std::min(size, blockSize_ - block_.size());
        block_.insert(block_.end(), next, next + piece);
        next += piece;
        size -= piece;
        if (block_.size() == blockSize_) {
            failure_ = Submit(false);
            if (failure_ != 0) return failure_;
        }
    }
    return 0;
}

uint32_t ParallelDeflater::Finish() {
    if (failure_ != 0) return failure_;
    if (finished_) return ERR_INVALID_PARAMETER;
    finished_ = true;
    failure_ = Submit(true);
    if (failure_ != 0 || inline_) return failure_;
    std::unique_lock<std::mutex> lock(mutex_);
    failure_ = DrainDone(lock, true);
    return failure_;
}

}  // namespace vxk5
