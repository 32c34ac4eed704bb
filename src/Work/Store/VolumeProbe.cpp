#include "Work/Store/VolumeProbe.h"

#include "Common/Unique.h"
#include "Work/Store/Shortcuts.h"

#include <utility>

namespace vok {

// Shared by a menu and its workers, and freed by whichever lets go of it
// last. At its bound the menu takes what has come and lets the record go; a
// worker that reports after that writes nothing, and one that has not begun
// a link yet gives up: nobody would read the answer.
struct ProbeRecord {
    volatile LONG References = 1;
    SRWLOCK Lock = SRWLOCK_INIT;
    UniqueHandle Done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    LONG Outstanding = 0;              // workers that have not reported, under Lock
    bool LetGo = false;                // under Lock
    std::vector<ProbedTarget> Results; // by ticket, under Lock

    void AddRef() { InterlockedIncrement(&References); }
    void Release()
    {
        if (InterlockedDecrement(&References) == 0) delete this;
    }

    bool IsLetGo()
    {
        AcquireSRWLockShared(&Lock);
        const bool letGo = LetGo;
        ReleaseSRWLockShared(&Lock);
        return letGo;
    }

    void Report(size_t ticket, ProbedTarget&& found)
    {
        AcquireSRWLockExclusive(&Lock);
        if (!LetGo) Results[ticket] = std::move(found);
        ReleaseSRWLockExclusive(&Lock);
    }

    void WorkerDone()
    {
        AcquireSRWLockExclusive(&Lock);
        if (--Outstanding == 0) SetEvent(Done.get());
        ReleaseSRWLockExclusive(&Lock);
    }
};

namespace {

bool IsDriveLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool SameRoot(const WString& a, const WString& b)
{
    return !a.empty() && a.size() == b.size() &&
           CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
               CSTR_EQUAL;
}

// The volumes that have a worker out, process-wide, each by the root its
// worker's job holds: a volume is probed by one worker at a time, and the
// table's size bounds the threads the library ever runs. A volume that finds
// no room waits for a later menu. Plain pointers: a worker may still be out
// when the process's static objects are destroyed at exit.
constexpr size_t kMostWorkers = 16;
// Address space only: a worker commits what its link object uses.
constexpr SIZE_T kWorkerStack = SIZE_T{512} * 1024;

SRWLOCK g_volumesLock = SRWLOCK_INIT;
const WString* g_volumes[kMostWorkers] = {}; // null: a free slot
volatile LONG g_running = 0;

// `root` must live until ReleaseVolume.
bool ClaimVolume(const WString* root)
{
    AcquireSRWLockExclusive(&g_volumesLock);
    const WString** free = nullptr;
    bool busy = false;
    for (const WString*& claimed : g_volumes) {
        if (!claimed && !free) free = &claimed;
        if (claimed && SameRoot(*claimed, *root)) busy = true;
    }
    const bool claimedNow = !busy && free;
    if (claimedNow) *free = root;
    ReleaseSRWLockExclusive(&g_volumesLock);
    return claimedNow;
}

void ReleaseVolume(const WString* root)
{
    AcquireSRWLockExclusive(&g_volumesLock);
    for (const WString*& claimed : g_volumes)
        if (claimed == root) claimed = nullptr;
    ReleaseSRWLockExclusive(&g_volumesLock);
}

// One worker's share of a menu: its volume, and the links below it.
struct VolumeJob {
    ProbeRecord* Record = nullptr;
    HMODULE Module = nullptr;
    WString Root;
    std::vector<std::pair<size_t, std::string>> Links; // ticket, the link file's bytes
};

// A link that cannot be read here stays unanswered: listed and kept.
ProbedTarget JudgeLink(LinkReader& reader, const std::string& bytes)
{
    ProbedTarget found;
    if (!reader.ReadResolved(bytes, found.Target)) return found;
    const WString path = ExpandTargetPath(found.Target);
    switch (TargetKind(path)) {
    case fkFolderLink: found.Verdict = tvFolder; break;
    case fkFileLink: found.Verdict = tvFile; break;
    default: found.Verdict = OnAbsentVolume(path) ? tvVolumeAbsent : tvGone; break;
    }
    return found;
}

// The volume's root first: a volume that does not answer that gets no
// resolution at all, and one that is not there keeps all its links.
void RunJob(VolumeJob& job)
{
    if (GetFileAttributesW(job.Root.c_str()) == INVALID_FILE_ATTRIBUTES) {
        for (auto& question : job.Links) job.Record->Report(question.first, {tvVolumeAbsent, WString()});
        return;
    }
    // A thread of the library's own: COM is its to start and to end.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) return;
    {
        LinkReader reader;
        for (auto& question : job.Links) {
            if (!reader.Ready() || job.Record->IsLetGo()) break;
            job.Record->Report(question.first, JudgeLink(reader, question.second));
        }
    }
    CoUninitialize();
}

// Holds a reference on the library from before it starts until its very
// last instruction, so that the library is never unloaded under it.
DWORD WINAPI ProbeVolume(void* parameter)
{
    auto* job = static_cast<VolumeJob*>(parameter);
    const HMODULE module = job->Module;
    try {
        RunJob(*job);
    } catch (...) {
        // Out of memory: what is not reported stays unanswered.
    }
    job->Record->WorkerDone();
    job->Record->Release();
    ReleaseVolume(&job->Root);
    delete job;
    InterlockedDecrement(&g_running);
    FreeLibraryAndExitThread(module, 0);
}

// Starts one worker; false (and nothing held) when it could not be started.
bool StartWorker(VolumeJob* job)
{
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ProbeVolume),
                            &job->Module))
        return false;
    job->Record->AddRef();
    InterlockedIncrement(&g_running);
    UniqueHandle thread(
        CreateThread(nullptr, kWorkerStack, ProbeVolume, job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (thread) return true;
    InterlockedDecrement(&g_running);
    job->Record->Release();
    FreeLibrary(job->Module);
    return false;
}

} // namespace

WString VolumeRootOf(const WString& path)
{
    if (path.size() >= 2 && path[1] == L':' && IsDriveLetter(path[0])) return path.substr(0, 2) + L"\\";
    if (path.compare(0, 2, L"\\\\") != 0) return WString();
    const size_t server = path.find(L'\\', 2);
    if (server == WString::npos || server == 2) return WString();
    const size_t share = path.find(L'\\', server + 1);
    if (share == server + 1) return WString();
    return share == WString::npos ? path + L"\\" : path.substr(0, share + 1);
}

bool OnAbsentVolume(const WString& target)
{
    if (target.compare(0, 3, L"A:\\") == 0) return true;
    const WString root = VolumeRootOf(target);
    if (root.empty()) return false;
    // A disc drive without its disc may still show an empty root (Wine's
    // does). Only the target's own drive is asked: every drive's type, as a
    // search for the first disc drive would ask, waits on each slow one.
    if (root.size() == 3 && GetDriveTypeW(root.c_str()) == DRIVE_CDROM) return true;
    return GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool IsNearTarget(const WString& path, const WString& nearRoot)
{
    const WString root = VolumeRootOf(path);
    return root.empty() || SameRoot(root, nearRoot);
}

VolumeProbe::~VolumeProbe()
{
    if (record_) record_->Release();
}

size_t VolumeProbe::Ask(const WString& root, std::string linkBytes)
{
    questions_.push_back({root, std::move(linkBytes)});
    return questions_.size() - 1;
}

std::vector<ProbedTarget> VolumeProbe::Collect(DWORD boundMs)
{
    std::vector<ProbedTarget> results(questions_.size());
    if (questions_.empty() || record_) return results;
    record_ = new ProbeRecord;
    if (!record_->Done) return results;
    record_->Results.resize(questions_.size());
    // One job per volume, in the order the volumes first came up.
    std::vector<VolumeJob*> jobs;
    try {
        for (size_t ticket = 0; ticket < questions_.size(); ++ticket) {
            Question& question = questions_[ticket];
            VolumeJob* job = nullptr;
            for (VolumeJob* known : jobs)
                if (SameRoot(known->Root, question.Root)) job = known;
            if (!job) {
                jobs.push_back(nullptr);
                jobs.back() = job = new VolumeJob;
                job->Record = record_;
                job->Root = question.Root;
            }
            job->Links.emplace_back(ticket, std::move(question.Bytes));
        }
    } catch (...) {
        for (VolumeJob* job : jobs) delete job;
        throw;
    }
    // Counted as one more worker while they start, so that the first one
    // back cannot signal the end before the last has started.
    record_->Outstanding = static_cast<LONG>(jobs.size()) + 1;
    bool started = false;
    for (VolumeJob* job : jobs) {
        // A volume whose worker is still out from before stays unanswered.
        if (ClaimVolume(&job->Root)) {
            if (StartWorker(job)) {
                started = true;
                continue;
            }
            ReleaseVolume(&job->Root);
        }
        record_->WorkerDone();
        delete job;
    }
    record_->WorkerDone();
    if (started) WaitForSingleObject(record_->Done.get(), boundMs);
    AcquireSRWLockExclusive(&record_->Lock);
    record_->LetGo = true;
    results.swap(record_->Results);
    ReleaseSRWLockExclusive(&record_->Lock);
    return results;
}

LONG RunningProbes()
{
    return g_running;
}

} // namespace vok
