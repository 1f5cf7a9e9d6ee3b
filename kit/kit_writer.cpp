#include "kit/kit_writer.h"

#include <algorithm>

#include "kit/zlib_stream.h"
#include "platform/file_handle.h"

namespace vxk5 {

using kitformat::kWindowSize;

struct KitFileWriter::State {
    ScopedFileHandle file;
    kitformat::DeflateStream deflater;
    uint8_t output[kWindowSize];
};

KitFileWriter::KitFileWriter() = default;
KitFileWriter::~KitFileWriter() = default;

uint32_t KitFileWriter::Open(const WString& path, int level) {
    state_.reset();
    auto state = std::make_unique<State>();
    FileHandle handle = INVALID_FILE_HANDLE;
    if (uint32_t code = CreateFileHandle(path, FILE_ACCESS_WRITE, 0, FILE_CREATE, handle, FILE_ATTR_NORMAL);
        code != 0) {
        return code;
    }
    state->file.Reset(handle);
    if (state->deflater.Init(level) != Z_OK) return ERR_INVALID_PARAMETER;
    state_ = std::move(state);
    return 0;
}

uint32_t KitFileWriter::Adopt(FileHandle handle, int level) {
    state_.reset();
    auto state = std::make_unique<State>();
    state->file.Reset(handle);
    if (state->deflater.Init(level) != Z_OK) return ERR_INVALID_PARAMETER;
    state_ = std::move(state);
    return 0;
}

uint32_t KitFileWriter::Pump(int flush) {
    z_stream& stream = state_->deflater.Get();
    for (;;) {
        stream.next_out = state_->output;
        stream.avail_out = kWindowSize;
        const int result = deflate(&stream, flush);
        if (result == Z_STREAM_ERROR) return ERR_INVALID_PARAMETER;
        const uint32_t produced = kWindowSize - stream.avail_out;
        if (produced != 0) {
            uint32_t written = 0;
            if (WriteFileHandle(state_->file.Get(), state_->output, produced, &written, nullptr) != 0 ||
                written != produced) {
                return ERR_INVALID_PARAMETER;
            }
        }
        if (flush == Z_FINISH ? result == Z_STREAM_END : stream.avail_out != 0) return 0;
    }
}

uint32_t KitFileWriter::Write(const void* bytes, size_t size) {
    if (!state_) return ERR_INVALID_PARAMETER;
    z_stream& stream = state_->deflater.Get();
    const uint8_t* next = static_cast<const uint8_t*>(bytes);
    while (size != 0) {
        const uInt piece = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        stream.next_in = const_cast<Bytef*>(next);
        stream.avail_in = piece;
        if (uint32_t code = Pump(Z_NO_FLUSH); code != 0) return code;
        next += piece;
        size -= piece;
    }
    return 0;
}

uint32_t KitFileWriter::Finish() {
    if (!state_) return ERR_INVALID_PARAMETER;
    state_->deflater.Get().avail_in = 0;
    uint32_t code = Pump(Z_FINISH);
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
