#include "tools/kit_create.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/conversion.h"
#include "kit/kit_writer.h"
#include "platform/file_handle.h"
#include "tools/source_tree.h"

namespace {

WString ToWide(const std::string& bytes) { return FromMultiByte(AString(bytes.c_str(), bytes.size())); }

std::string ToBytes(const WString& text) {
    const AString bytes = ToMultiByte(text);
    return std::string(bytes.c_str(), bytes.length());
}

// The kit names files with "\" between components.
WString KitName(const std::string& relativePath) {
    WString name = ToWide(relativePath);
    ReplaceAll(name, u"/", u"\\");
    return name;
}

bool TakeValue(int argc, char** argv, int& i, std::string& value, std::string& error) {
    if (i + 1 >= argc) {
        error = std::string("option ") + argv[i] + " needs a value";
        return false;
    }
    value = argv[++i];
    return true;
}

// Copies the file's bytes into the kit; exactly `size` bytes must come.
bool CopyFileInto(KitFileWriter& writer, const std::string& path, uint64_t size, uint8_t* buffer,
                  uint32_t bufferSize, std::string& error) {
    FileHandle handle = INVALID_FILE_HANDLE;
    if (CreateFileHandle(ToWide(path), FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle,
                         FILE_FLAG_SEQUENTIAL_NORMAL) != 0) {
        error = "cannot open " + path;
        return false;
    }
    ScopedFileHandle file(handle);
    uint64_t total = 0;
    for (;;) {
        uint32_t count = 0;
        if (ReadFileHandle(file.Get(), buffer, bufferSize, &count, nullptr) != 0) {
            error = "cannot read " + path;
            return false;
        }
        if (count == 0) break;
        total += count;
        if (total > size) break;
        if (writer.Write(buffer, count) != 0) {
            error = "cannot write the kit";
            return false;
        }
    }
    if (total != size) {
        error = "file changed while the kit was made: " + path;
        return false;
    }
    return true;
}

bool WriteKit(const CreateOptions& options, const std::vector<SourceFile>& files, const WString& target,
              std::string& error) {
    std::vector<KitFileEntry> entries;
    uint64_t offset = 0;
    for (const SourceFile& file : files) {
        if (file.size > UINT32_MAX || offset + file.size > UINT32_MAX) {
            error = "the files hold 4 GiB or more, more than a kit can: " + file.relativePath;
            return false;
        }
        KitFileEntry entry;
        entry.name = KitName(file.relativePath);
        entry.timeLow = file.modified.low;
        entry.timeHigh = file.modified.high;
        entry.offset = static_cast<uint32_t>(offset);
        entry.size = static_cast<uint32_t>(file.size);
        entries.push_back(entry);
        offset += file.size;
    }
    std::vector<KitDescription> descriptions = options.descriptions;
    for (KitDescription& description : descriptions) ReplaceAll(description.descriptionPath, u"/", u"\\");

    KitFileWriter writer;
    if (writer.Open(target) != 0) {
        error = "cannot create " + ToBytes(target);
        return false;
    }
    const std::string head = kitformat::EncodeContainerHead(options.form, descriptions, entries);
    if (writer.Write(head.data(), head.size()) != 0) {
        error = "cannot write " + ToBytes(target);
        return false;
    }
    constexpr uint32_t kBufferSize = 1 << 20;
    const std::unique_ptr<uint8_t[]> buffer(new uint8_t[kBufferSize]);
    for (const SourceFile& file : files) {
        if (!CopyFileInto(writer, options.sourceDirectory + "/" + file.relativePath, file.size, buffer.get(),
                          kBufferSize, error)) {
            return false;
        }
    }
    if (writer.Finish() != 0) {
        error = "cannot write " + ToBytes(target);
        return false;
    }
    return true;
}

}  // namespace

bool ParseCreateArguments(int argc, char** argv, CreateOptions& options, std::string& error) {
    options = CreateOptions();
    auto current = [&options]() -> KitDescription& {
        // --product, --vendor and --description before any --lang describe "en".
        if (options.descriptions.empty()) options.descriptions.push_back(KitDescription{u"en", {}, {}, {}});
        return options.descriptions.back();
    };
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        std::string value;
        if (argument == "-o" || argument == "--output") {
            if (!TakeValue(argc, argv, i, options.output, error)) return false;
        } else if (argument == "--single") {
            options.form = kitformat::DescriptionForm::SingleLanguage;
        } else if (argument == "--lang") {
            if (!TakeValue(argc, argv, i, value, error)) return false;
            if (value.empty()) {
                error = "--lang needs a language code";
                return false;
            }
            options.descriptions.push_back(KitDescription{ToWide(value), {}, {}, {}});
        } else if (argument == "--product") {
            if (!TakeValue(argc, argv, i, value, error)) return false;
            current().product = ToWide(value);
        } else if (argument == "--vendor") {
            if (!TakeValue(argc, argv, i, value, error)) return false;
            current().vendor = ToWide(value);
        } else if (argument == "--description") {
            if (!TakeValue(argc, argv, i, value, error)) return false;
            current().descriptionPath = ToWide(value);
        } else if (!argument.empty() && argument[0] == '-') {
            error = "unknown option " + argument;
            return false;
        } else if (options.sourceDirectory.empty()) {
            options.sourceDirectory = argument;
        } else {
            error = "more than one source directory: " + argument;
            return false;
        }
    }
    if (options.sourceDirectory.empty()) {
        error = "no source directory given";
        return false;
    }
    if (options.output.empty()) {
        error = "no kit file given (-o KIT)";
        return false;
    }
    if (options.form == kitformat::DescriptionForm::SingleLanguage && options.descriptions.size() > 1) {
        error = "--single takes at most one description";
        return false;
    }
    return true;
}

bool CreateKit(const CreateOptions& options, std::string& error) {
    std::vector<SourceFile> files;
    if (!ListSourceFiles(options.sourceDirectory, files, error)) return false;
    for (const KitDescription& description : options.descriptions) {
        if (description.descriptionPath.empty()) continue;
        WString path = description.descriptionPath;
        ReplaceAll(path, u"\\", u"/");
        const std::string relative = ToBytes(path);
        bool found = false;
        for (const SourceFile& file : files) found = found || file.relativePath == relative;
        if (!found) {
            error = "description document not found in the source directory: " + relative;
            return false;
        }
    }
    // Written beside the target and renamed when complete, so that a failure
    // never leaves a damaged kit under the target's name.
    const std::string partial = options.output + ".partial";
    if (!WriteKit(options, files, ToWide(partial), error)) {
        std::remove(partial.c_str());
        return false;
    }
    if (std::rename(partial.c_str(), options.output.c_str()) != 0) {
        error = "cannot rename " + partial + " to " + options.output + ": " + std::strerror(errno);
        std::remove(partial.c_str());
        return false;
    }
    return true;
}
