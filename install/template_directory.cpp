#include "install/template_directory.h"

#include "base/result_codes.h"
#include "platform/fault_injection.h"
#include "platform/file_entries.h"

namespace vxk5 {

uint32_t MakeTemplateDirectory(const std::string& path, std::vector<std::string>& made, Failure& failure) {
    std::string directory = path;
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    if (directory == "/" || IsDirectoryAt(directory)) return ERR_SUCCESS;
    // Only an absolute path has a parent to make ("C:/..." has none here).
    if (directory.empty() || directory[0] != '/') return ERR_PATH_NOT_FOUND;

    // The missing directories, deepest first, up to the first that exists.
    std::vector<std::string> missing{directory};
    for (std::string current = directory;;) {
        const size_t slash = current.rfind('/');
        if (slash == std::string::npos || slash == 0) break;  // "/" is there
        current.resize(slash);
        while (current.size() > 1 && current.back() == '/') current.pop_back();
        if (current == "/" || IsDirectoryAt(current)) break;
        missing.push_back(current);
    }
    for (auto next = missing.rbegin(); next != missing.rend(); ++next) {
        int error = InjectedFault(FaultStep::MakeDirectory, *next);
        if (error == 0) error = MakeDirectory(*next, 0777).error;  // the umask decides, as for mkdir -p
        if (error == EEXIST && IsDirectoryAt(*next)) continue;    // made by someone else meanwhile: not ours
        if (error != 0) {
            if (failure.Empty()) failure = FailureFromErrno(error, *next);  // the detail: the code is ERR_NOT_FOUND
            return ERR_NOT_FOUND;
        }
        made.push_back(*next);
    }
    return ERR_SUCCESS;
}

std::vector<std::string> RealPathsOfMade(const std::string& given, const std::string& real,
                                         const std::vector<std::string>& made) {
    std::vector<std::string> madeReal;
    std::string trimmed = given;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    for (const std::string& path : made) {
        const size_t below = trimmed.size() - path.size();  // bytes of the given path below `path`
        madeReal.push_back(real.substr(0, real.size() >= below ? real.size() - below : 0));
    }
    return madeReal;
}

}  // namespace vxk5
