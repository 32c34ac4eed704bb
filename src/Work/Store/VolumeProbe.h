// Favourites whose targets lie on other volumes than the favourites folder's:
// any of them may keep a caller waiting (a share or a mapped drive whose
// server is gone waits for its time-out, tens of seconds). Such targets are
// judged on threads of the library's own, one per volume, and a menu waits
// for all of them together within a bound; what has not come back by then is
// listed as the link file records it, and judged at a later menu.
#pragma once

#include "Common/WideString.h"
#include "Work/Store/TargetVerdict.h"

#include <windows.h>
#include <shobjidl.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vok {

// The longest one menu waits for the volumes of its favourites, together.
constexpr DWORD kVolumeWaitMs = 250;

// Resolve's flags wherever a link is resolved: no window, any match, and a
// search bounded by the same wait (a zero high word means the system's
// default of three seconds).
constexpr DWORD kResolveFlags = DWORD{SLR_NO_UI} | DWORD{SLR_ANY_MATCH} | (kVolumeWaitMs << 16);

// The root of the volume a path lies on: "X:\" for a drive path,
// "\\server\share\" for a network path, "\\server\" for a server itself
// (which answers only as a folder on Wine, never on Windows); empty for
// anything else.
WString VolumeRootOf(const WString& path);

// A drive's or a share's root: a folder, without asking the volume.
bool IsVolumeRoot(const WString& path);

// A drive's or a share's root, or a server ("\\host"): a folder by its
// name alone. Windows answers no file call for a server, up or not.
bool IsFolderByName(const WString& path);

// A link whose volume is not there (a floppy, a disc, an unplugged drive, a
// share out of reach) is kept, though not listed, while its target cannot be
// found: it comes back with the volume. Only a target whose volume answers
// and whose folder is gone counts as dead. Asks the target's own volume only.
bool OnAbsentVolume(const WString& target);

// The serial numbers of the volumes now at their roots, each read once: for
// one menu, or for one worker.
class VolumeSerials {
public:
    // Whether the volume now at `root` is another than the one the link (its
    // file's bytes) recorded: another stick at the same letter, another share
    // behind a reconnected letter. A link that records no serial, or a volume
    // that gives none, is not another.
    bool IsOtherVolume(const WString& root, const std::string& linkBytes);

private:
    DWORD SerialAt(const WString& root);
    std::vector<std::pair<WString, DWORD>> known_; // 0: gives none
};

// Whether a link whose target was not found is dead: its target's own volume
// answers (OnAbsentVolume) and is the one the link was made on.
bool IsGoneFromItsVolume(const WString& target, const std::string& linkBytes, VolumeSerials& serials);

// Whether a target may be judged on the caller's thread: it lies on
// `nearRoot`, the volume of the link itself, which the caller has just read,
// or on no volume at all. Any other volume may keep the caller waiting, and
// no call tells which will without asking the volume: under Wine even
// GetDriveType opens the drive's root. A string test only.
bool IsNearTarget(const WString& path, const WString& nearRoot);

// What a worker found of one link.
struct ProbedTarget {
    TargetVerdict Verdict = tvUnanswered;
    WString Target; // as the link stores it, once resolved on the worker
};

struct ProbeRecord;

// One question for a worker: a link (its file's bytes), or a path alone.
struct ProbeQuestion {
    WString Root;
    std::string LinkBytes; // empty: the question is Path
    WString Path;
};

// One menu's questions about links on far volumes. Ask during the scan, then
// Collect once: it starts at most one worker per volume, none for a volume
// whose worker from an earlier menu is still out, and waits for them all
// together, within the bound. A worker that comes back later reports into a
// record it shares with this object by reference count, and finds it let go.
class VolumeProbe {
public:
    VolumeProbe() = default;
    VolumeProbe(const VolumeProbe&) = delete;
    VolumeProbe& operator=(const VolumeProbe&) = delete;

    // Queues the link read from `linkBytes` (its file's whole contents),
    // whose target lies below `root`; returns its ticket into Collect's
    // result.
    size_t Ask(const WString& root, std::string linkBytes);

    // Queues a path to be tested as it stands: a folder, a file, or gone.
    size_t AskPath(const WString& path);

    // What came back within `boundMs`, by ticket; tvUnanswered for the rest.
    std::vector<ProbedTarget> Collect(DWORD boundMs);

private:
    std::vector<ProbeQuestion> questions_;
    std::shared_ptr<ProbeRecord> record_;
};

} // namespace vok
