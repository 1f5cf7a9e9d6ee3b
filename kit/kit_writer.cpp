#include "kit/kit_writer.h"

#include <algorithm>

#include "kit/kit_trailer.h"
#include "kit/parallel_deflate.h"
#include "kit/stream_digest.h"
#include "kit/zlib_stream.h"
#include "platform/file_handle.h"
#include "platform/owned_descriptor.h"

namespace vxk5 {

struct KitFileWriter::State {
    OwnedDescriptor file;
    std::unique_ptr<ParallelDeflater> deflater;
    StreamDigest digest;  // of the stream written so far, for the trailer
    uint64_t streamLength = 0;

    [[nodiscard]] uint32_t WriteAll(const uint8_t* bytes, size_t size) {
        while (size != 0) {
            const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(size, 1u << 30));
            uint32_t written = 0;
            if (WriteFileHandle(file.Get(), bytes, piece, &written, nullptr) != 0 || written != piece) {
                return ERR_INVALID_PARAMETER;
            }
            bytes += piece;
            size -= piece;
        }
        return 0;
    }

    // The compressed pieces go straight to the file, in order, and into the digest.
    [[nodiscard]] uint32_t Start(int level, unsigned threads) {
        if (level < Z_NO_COMPRESSION || level > Z_BEST_COMPRESSION) return ERR_INVALID_PARAMETER;
        deflater = std::make_unique<ParallelDeflater>(
            level,
            [this](const uint8_t* bytes, size_t size) -> uint32_t {
                digest.Update(bytes, size);
                streamLength += size;
                return WriteAll(bytes, size);
            },
            threads);
        return 0;
    }

    // After the stream's final block: its check.
    [[nodiscard]] uint32_t WriteTrailer() {
        const kitformat::KitTrailer trailer = kitformat::EncodeKitTrailer(streamLength, digest.Value());
        return WriteAll(trailer.data(), trailer.size());
    }
};

KitFileWriter::KitFileWriter() = default;
KitFileWriter::~KitFileWriter() = default;

uint32_t KitFileWriter::Open(const WString& path, int level, unsigned threads) {
    state_.reset();
    auto state = std::make_unique<State>();
    FileHandle handle = INVALID_FILE_HANDLE;
    if (uint32_t code = CreateFileHandle(path, FILE_ACCESS_WRITE, 0, FILE_CREATE, handle, FILE_ATTR_NORMAL);
        code != 0) {
        return code;
    }
    state->file.Reset(DescriptorOf(handle));
    if (state->Start(level, threads) != 0) return ERR_INVALID_PARAMETER;
    state_ = std::move(state);
    return 0;
}

uint32_t KitFileWriter::Adopt(FileHandle handle, int level, unsigned threads) {
    state_.reset();
    auto state = std::make_unique<State>();
    state->file.Reset(DescriptorOf(handle));
    if (state->Start(level, threads) != 0) return ERR_INVALID_PARAMETER;
    state_ = std::move(state);
    return 0;
}

uint32_t KitFileWriter::Write(const void* bytes, size_t size) {
    if (!state_) return ERR_INVALID_PARAMETER;
    return state_->deflater->Write(bytes, size) == 0 ? 0 : ERR_INVALID_PARAMETER;
}

uint32_t KitFileWriter::Finish() {
    if (!state_) return ERR_INVALID_PARAMETER;
    uint32_t code = state_->deflater->Finish() == 0 ? 0 : ERR_INVALID_PARAMETER;
    state_->deflater.reset();
    if (code == 0) code = state_->WriteTrailer();
    if (code == 0 && TruncateFileHandle(state_->file.Get()) != 0) code = ERR_INVALID_PARAMETER;
    if (code == 0 && CloseFileHandle(state_->file.Release()) != 0) code = ERR_INVALID_PARAMETER;
    state_.reset();
    return code;
}

uint32_t WriteKitFile(const WString& path, const std::string& container, int level) {
    KitFileWriter writer;
    if (uint32_t code = writer.Open(path, level); code != 0) return code;
    if (uint32_t code = writer.Write(container.data(), container.size()); code != 0) return code;
    return writer.Finish();
}

std::string DeflateContainer(const std::string& container, int level) {
    kitformat::DeflateStream deflater;
    if (deflater.Init(level) != Z_OK) return std::string();
    z_stream& stream = deflater.Get();
    std::string out(deflateBound(&stream, container.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(container.data()));
    stream.avail_in = static_cast<uInt>(container.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) return std::string();
    out.resize(stream.total_out);
    return out;
}

}  // namespace vxk5
