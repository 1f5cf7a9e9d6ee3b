#include "tools/kit_create.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <functional>
#include <optional>

#include "base/conversion.h"
#include "kit/kit_writer.h"
#include "platform/entry_details.h"
#include "platform/platform_error.h"
#include "platform/file_handle.h"
#include "platform/owned_descriptor.h"
#include "tools/arguments.h"
#include "tools/kit_input.h"
#include "tools/kit_output.h"
#include "tools/packable_names.h"
#include "tools/progress_line.h"
#include "tools/source_tree.h"

namespace vxk5 {

namespace {

// The system's words for the last failure of the file interface.
std::string LastSystemReason() { return std::strerror(GetPlatformErrno() != 0 ? GetPlatformErrno() : EIO); }

// The kit names files with "\" between components.
WString KitName(const std::string& relativePath) {
    WString name = FromMultiByte(relativePath);
    ReplaceAll(name, u"/", u"\\");
    return name;
}

// One option of create and its value, if it takes one.
bool TakeOption(ArgumentScanner& arguments, CreateOptions& options, std::string& error) {
    const std::string name = arguments.Text();
    auto current = [&options]() -> KitDescription& {
        // --product, --vendor and --description before any --lang describe "en".
        if (options.descriptions.empty()) options.descriptions.push_back(KitDescription{u"en", {}, {}, {}});
        return options.descriptions.back();
    };
    std::string value;
    if (name == "-q" || name == "--quiet" || name == "--single") {
        if (!arguments.NoValue(error)) return false;
        if (name == "--single") options.form = kitformat::DescriptionForm::SingleLanguage;
        else options.quiet = true;
        return true;
    }
    if (name != "-o" && name != "--output" && name != "--lang" && name != "--product" && name != "--vendor" &&
        name != "--description") {
        error = "unknown option " + name;
        return false;
    }
    if (!arguments.TakeValue(value, error)) return false;
    if (name == "-o" || name == "--output") {
        options.output = value;
    } else if (name == "--lang") {
        if (value.empty()) {
            error = "--lang needs a language code";
            return false;
        }
        options.descriptions.push_back(KitDescription{FromMultiByte(value), {}, {}, {}});
    } else if (name == "--product") {
        current().product = FromMultiByte(value);
    } else if (name == "--vendor") {
        current().vendor = FromMultiByte(value);
    } else {
        current().descriptionPath = FromMultiByte(value);
    }
    return true;
}

// Copies the file's bytes into the kit; exactly `size` bytes must come.
bool CopyFileInto(KitFileWriter& writer, const std::string& path, uint64_t size, uint8_t* buffer,
                  uint32_t bufferSize, const std::function<void(uint64_t)>& copied, std::string& error) {
    FileHandle handle = INVALID_FILE_HANDLE;
    if (CreateFileHandle(FromMultiByte(path), FILE_ACCESS_READ, 0, FILE_OPEN_EXISTING, handle,
                         FILE_FLAG_SEQUENTIAL_NORMAL) != 0) {
        error = "cannot open " + path + ": " + LastSystemReason();
        return false;
    }
    OwnedDescriptor file(DescriptorOf(handle));
    uint64_t total = 0;
    for (;;) {
        uint32_t count = 0;
        if (ReadFileHandle(file.Get(), buffer, bufferSize, &count, nullptr) != 0) {
            error = "cannot read " + path + ": " + LastSystemReason();
            return false;
        }
        if (count == 0) break;
        total += count;
        if (total > size) break;
        if (writer.Write(buffer, count) != 0) {
            error = "cannot write the kit: " + LastSystemReason();
            return false;
        }
        copied(count);
    }
    if (total != size) {
        error = "file changed while the kit was made: " + path;
        return false;
    }
    return true;
}

uint64_t TotalBytes(const std::vector<SourceFile>& files) {
    uint64_t total = 0;
    for (const SourceFile& file : files) total += file.size;
    return total;
}

// The container's head (descriptions and file table) for `files`, laid out
// before anything is written. The format's places are 32-bit counts: a tree
// whose container would reach 4 GiB is refused here, before the kit file is
// made, rather than written with offsets that wrap.
bool PlanContainerHead(const CreateOptions& options, const std::vector<SourceFile>& files, std::string& head,
                       std::string& error) {
    std::vector<KitFileEntry> entries;
    entries.reserve(files.size());
    uint64_t offset = 0;
    for (const SourceFile& file : files) {
        KitFileEntry entry;
        entry.name = KitName(file.relativePath);
        entry.timeLow = file.modified.low;
        entry.timeHigh = file.modified.high;
        entry.offset = static_cast<uint32_t>(offset);
        entry.size = static_cast<uint32_t>(file.size);
        entries.push_back(entry);
        offset += file.size;
        if (file.size > kitformat::kMaxContainerSize || offset > kitformat::kMaxContainerSize) {
            error = "the files hold " + std::to_string(offset) +
                    " bytes or more, more than a kit can (its file table and data must stay below 4 GiB, " +
                    std::to_string(kitformat::kMaxContainerSize + 1) + " bytes); stopped at " + file.relativePath;
            return false;
        }
    }
    if (!CheckPackableNames(entries, options.sourceDirectory, error)) return false;
    std::vector<KitDescription> descriptions = options.descriptions;
    for (KitDescription& description : descriptions) ReplaceAll(description.descriptionPath, u"/", u"\\");
    head = kitformat::EncodeContainerHead(options.form, descriptions, entries);
    if (head.size() + offset > kitformat::kMaxContainerSize) {
        error = "the kit would hold " + std::to_string(head.size() + offset) + " bytes (file table " +
                std::to_string(head.size()) + ", data " + std::to_string(offset) +
                "), more than a kit can: its file table and data must stay below 4 GiB (" +
                std::to_string(kitformat::kMaxContainerSize + 1) + " bytes)";
        return false;
    }
    return true;
}

// Writes the kit into `handle`, which the writer takes over and closes.
bool WriteKit(const CreateOptions& options, const std::vector<SourceFile>& files, const std::string& head,
              FileHandle handle, const std::string& target, std::ostream& messages, std::string& error) {
    KitFileWriter writer;
    if (writer.Adopt(handle) != 0) {
        error = "cannot start compressing " + target + ": " + LastSystemReason();
        return false;
    }
    if (writer.Write(head.data(), head.size()) != 0) {
        error = "cannot write " + target + ": " + LastSystemReason();
        return false;
    }
    std::optional<ProgressLine> progress;
    if (options.showProgress && !options.quiet) progress.emplace(messages, files.size(), TotalBytes(files));
    uint64_t filesDone = 0;
    uint64_t bytesDone = 0;
    const auto copied = [&progress, &filesDone, &bytesDone](uint64_t count) {
        bytesDone += count;
        if (progress) progress->Update(filesDone, bytesDone);
    };
    constexpr uint32_t kBufferSize = 1 << 20;
    const std::unique_ptr<uint8_t[]> buffer(new uint8_t[kBufferSize]);
    for (const SourceFile& file : files) {
        if (!CopyFileInto(writer, options.sourceDirectory + "/" + file.relativePath, file.size, buffer.get(),
                          kBufferSize, copied, error)) {
            return false;
        }
        ++filesDone;
        copied(0);
    }
    if (progress) progress->Finish();
    if (writer.Finish() != 0) {
        error = "cannot write " + target + ": " + LastSystemReason();
        return false;
    }
    return true;
}

// Lists the source files, checks the descriptions' documents and lays out
// the container's head: everything that can fail before a byte is written.
bool PlanKit(const CreateOptions& options, std::ostream& messages, std::vector<SourceFile>& files, std::string& head,
             std::string& error) {
    std::vector<std::string> warnings;
    // A kit written into its own source tree (by an earlier run) is not packed into the new one.
    EntryDetails earlierKit;
    const bool kitExists = !IsStandardStream(options.output) &&
                           DescribeEntry(options.output, LinkHandling::Follow, earlierKit) == 0;
    if (!ListSourceFiles(options.sourceDirectory, files, warnings, error, kitExists ? &earlierKit.identity : nullptr)) {
        return false;
    }
    for (const std::string& warning : warnings) messages << "warning: " << warning << "\n";
    for (const KitDescription& description : options.descriptions) {
        if (description.descriptionPath.empty()) continue;
        WString path = description.descriptionPath;
        ReplaceAll(path, u"\\", u"/");
        const std::string relative = ToMultiByteString(path);
        bool found = false;
        for (const SourceFile& file : files) found = found || file.relativePath == relative;
        if (!found) {
            error = "description document not found in the source directory: " + relative;
            return false;
        }
    }
    return PlanContainerHead(options, files, head, error);
}

}  // namespace

bool ParseCreateArguments(int argc, char** argv, CreateOptions& options, std::string& error) {
    options = CreateOptions();
    ArgumentScanner arguments(argc, argv);
    while (arguments.Next()) {
        if (!arguments.IsOption()) {
            if (!options.sourceDirectory.empty()) {
                error = "more than one source directory: " + arguments.Text();
                return false;
            }
            options.sourceDirectory = arguments.Text();
        } else if (!TakeOption(arguments, options, error)) {
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

bool CreateKit(const CreateOptions& options, std::ostream& messages, std::string& error) {
    std::vector<SourceFile> files;
    std::string head;
    if (!PlanKit(options, messages, files, head, error)) return false;
    const KitWriting write = [&](FileHandle handle, const std::string& shown, std::string& failure) {
        return WriteKit(options, files, head, handle, shown, messages, failure);
    };
    return IsStandardStream(options.output) ? DeliverKitToStandardOutput(write, error)
                                            : DeliverKitFile(options.output, write, error);
}

}  // namespace vxk5
