#include "Work/Store/TargetVerdict.h"

#include "Work/Store/VolumeProbe.h"
#include "Work/Store/Wow64.h"

namespace vok {
namespace {

// A path past MAX_PATH reaches the file system only in its extended form.
WString LookupForm(const WString& path)
{
    if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0) return path;
    if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

PathAnswer Ask(const WString& path)
{
    if (path.empty() || path.find_first_of(L"*?") != WString::npos) return paNoProof;
    const DWORD attributes = GetFileAttributesW(LookupForm(path).c_str());
    return AnswerOf(attributes, attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS);
}

// The folder above `path`, never above `root`.
WString ParentOf(const WString& path, const WString& root)
{
    size_t end = path.size();
    while (end > root.size() && path[end - 1] == L'\\') --end;
    const size_t cut = end == 0 ? WString::npos : path.find_last_of(L'\\', end - 1);
    if (cut == WString::npos || cut + 1 <= root.size()) return root;
    return path.substr(0, cut);
}

PathAnswer FirstAnswerAbove(const WString& path)
{
    const WString root = VolumeRootOf(path);
    if (root.empty()) return paNoProof;
    for (WString folder = path; folder.size() > root.size();) {
        folder = ParentOf(folder, root);
        const PathAnswer answer = Ask(folder);
        if (answer != paNotFound) return answer;
    }
    return paNotFound;
}

} // namespace

PathAnswer AnswerOf(DWORD attributes, DWORD error)
{
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? paFolder : paFile;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return paNotFound;
    default: return paNoProof;
    }
}

TargetVerdict VerdictOf(PathAnswer target, PathAnswer above)
{
    switch (target) {
    case paFolder: return tvFolder;
    case paFile: return tvFile;
    case paNoProof: return tvUnanswered;
    case paNotFound: break;
    }
    if (above == paFolder) return tvGone;
    return above == paNotFound ? tvVolumeAbsent : tvUnanswered;
}

TargetVerdict JudgeTargetPath(const WString& path)
{
    const Wow64RedirectionOff redirection;
    const PathAnswer target = Ask(path);
    return VerdictOf(target, target == paNotFound ? FirstAnswerAbove(path) : paNoProof);
}

} // namespace vok
