#include "Work/Store/VolumeProbe.h"

#include "Common/LibraryThread.h"
#include "Common/Unique.h"
#include "Work/Store/LinkFile.h"
#include "Work/Store/Shortcuts.h"

#include <winnetwk.h>

#include <memory>
#include <utility>

namespace vok {

// Shared by a menu and its workers, and freed by whichever lets go of it
// last. At its bound the menu takes what has come and lets the record go; a
// worker that reports after that writes nothing, and one that has not begun
// a link yet gives up: nobody would read the answer.
struct ProbeRecord {
    SRWLOCK Lock = SRWLOCK_INIT;
    UniqueHandle Done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Workers that have not reported, under Lock. The menu that starts them
    // counts as one until it has started them all, so that the first worker
    // back cannot signal the end before the last has started.
    LONG Outstanding = 1;
    bool LetGo = false;                // under Lock
    std::vector<ProbedTarget> Results; // by ticket, under Lock

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

    // The one counting rule: every WorkerStarts is matched by one WorkerDone.
    void WorkerStarts()
    {
        AcquireSRWLockExclusive(&Lock);
        ++Outstanding;
        ReleaseSRWLockExclusive(&Lock);
    }

    void WorkerDone()
    {
        AcquireSRWLockExclusive(&Lock);
        if (--Outstanding == 0) SetEvent(Done.get());
        ReleaseSRWLockExclusive(&Lock);
    }

    std::vector<ProbedTarget> LetGoOfResults()
    {
        AcquireSRWLockExclusive(&Lock);
        LetGo = true;
        std::vector<ProbedTarget> results = std::move(Results);
        ReleaseSRWLockExclusive(&Lock);
        return results;
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

SRWLOCK g_volumesLock = SRWLOCK_INIT;
const WString* g_volumes[kMostWorkers] = {}; // null: a free slot

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

// One worker's share of a menu: its volume, and the questions below it.
struct VolumeJob {
    std::shared_ptr<ProbeRecord> Record;
    WString Root;
    std::vector<std::pair<size_t, ProbeQuestion>> Questions; // by ticket
    bool AsksLinks = false;
};
using JobList = std::vector<std::shared_ptr<VolumeJob>>;

// "\\server\": a server is no volume. Windows answers no file call for it,
// whether it is up or not, so nothing below it but its shares can be judged.
bool IsServerRoot(const WString& root)
{
    return root.size() > 3 && root[1] == L'\\' && root.find(L'\\', 2) + 1 == root.size();
}

// A link that cannot be read here stays unanswered: listed and kept.
ProbedTarget JudgeLink(LinkReader& reader, const std::string& bytes, VolumeSerials& serials)
{
    ProbedTarget found;
    if (!reader.ReadResolved(bytes, found.Target)) return found;
    const WString path = ExpandTargetPath(found.Target);
    if (IsServerRoot(VolumeRootOf(path))) return found;
    found.Verdict = JudgeTargetPath(path);
    if (found.Verdict == tvGone && !IsGoneFromItsVolume(path, bytes, serials)) found.Verdict = tvVolumeAbsent;
    return found;
}

void JudgeQuestions(VolumeJob& job, LinkReader* reader)
{
    VolumeSerials serials;
    for (auto& question : job.Questions) {
        if (job.Record->IsLetGo()) break;
        const ProbeQuestion& asked = question.second;
        if (asked.LinkBytes.empty())
            job.Record->Report(question.first, {JudgeTargetPath(asked.Path), asked.Path});
        else if (reader && reader->Ready())
            job.Record->Report(question.first, JudgeLink(*reader, asked.LinkBytes, serials));
    }
}

// The volume's root first: a volume that does not answer that gets no
// resolution at all, and one that is not there keeps all its links.
void RunJob(VolumeJob& job)
{
    if (!IsServerRoot(job.Root) && GetFileAttributesW(job.Root.c_str()) == INVALID_FILE_ATTRIBUTES) {
        for (auto& question : job.Questions) job.Record->Report(question.first, {tvVolumeAbsent, WString()});
        return;
    }
    if (!job.AsksLinks) return JudgeQuestions(job, nullptr);
    LinkReader reader;
    JudgeQuestions(job, &reader);
}

void RunWorker(VolumeJob& job)
{
    try {
        RunJob(job);
    } catch (...) {
        // Out of memory: what is not reported stays unanswered.
    }
    job.Record->WorkerDone();
    ReleaseVolume(&job.Root);
}

// The worker's link object needs COM; a path alone does not.
bool StartWorker(const std::shared_ptr<VolumeJob>& job)
{
    job->Record->WorkerStarts();
    if (StartLibraryThread(job->AsksLinks ? taSingle : taNoCom, [job] { RunWorker(*job); })) return true;
    job->Record->WorkerDone();
    return false;
}

// One job per volume, in the order the volumes first came up.
JobList GroupByVolume(std::vector<ProbeQuestion>& questions, const std::shared_ptr<ProbeRecord>& record)
{
    JobList jobs;
    for (size_t ticket = 0; ticket < questions.size(); ++ticket) {
        ProbeQuestion& question = questions[ticket];
        VolumeJob* job = nullptr;
        for (const auto& known : jobs)
            if (SameRoot(known->Root, question.Root)) job = known.get();
        if (!job) {
            jobs.push_back(std::make_shared<VolumeJob>());
            job = jobs.back().get();
            job->Record = record;
            job->Root = question.Root;
        }
        job->AsksLinks = job->AsksLinks || !question.LinkBytes.empty();
        job->Questions.emplace_back(ticket, std::move(question));
    }
    return jobs;
}

// Whether any worker started. A volume whose worker is still out from
// before stays unanswered.
bool StartWorkers(JobList& jobs)
{
    bool started = false;
    for (auto& job : jobs) {
        if (!ClaimVolume(&job->Root)) continue;
        if (StartWorker(job)) {
            started = true;
            continue;
        }
        ReleaseVolume(&job->Root);
    }
    return started;
}

} // namespace

WString VolumeRootOf(const WString& path)
{
    if (path.size() >= 2 && path[1] == L':' && IsDriveLetter(path[0])) return path.substr(0, 2) + L"\\";
    if (path.compare(0, 2, L"\\\\") != 0) return WString();
    const size_t server = path.find(L'\\', 2);
    if (server == 2 || path.size() == 2) return WString();
    if (server == WString::npos || server + 1 == path.size()) return path.substr(0, server) + L"\\";
    const size_t share = path.find(L'\\', server + 1);
    if (share == server + 1) return WString();
    return share == WString::npos ? path + L"\\" : path.substr(0, share + 1);
}

bool IsFolderByName(const WString& path)
{
    const WString root = VolumeRootOf(path);
    return !root.empty() && (SameRoot(path, root) || SameRoot(path + L"\\", root));
}

bool IsVolumeRoot(const WString& path)
{
    return IsFolderByName(path) && !IsServerRoot(VolumeRootOf(path));
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

DWORD VolumeSerials::SerialAt(const WString& root)
{
    for (const auto& known : known_)
        if (SameRoot(known.first, root)) return known.second;
    DWORD serial = 0;
    if (!GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) serial = 0;
    known_.emplace_back(root, serial);
    return serial;
}

namespace {

// A drive letter mapped to another share than the one the link was made
// through. A letter that names no share now, or a link that records none,
// is not another.
bool IsOtherShare(const WString& root, const std::string& linkBytes)
{
    RecordedText recorded;
    if (root.size() != 3 || root[1] != L':' || !RecordedNetName(linkBytes, recorded)) return false;
    const WString device = root.substr(0, 2);
    wchar_t remote[MAX_PATH + 1] = {};
    DWORD length = MAX_PATH;
    const DWORD rc = WNetGetConnectionW(device.c_str(), remote, &length);
    if (rc != NO_ERROR && rc != ERROR_CONNECTION_UNAVAIL) return false;
    return !SameRoot(WideOfRecorded(recorded) + L"\\", WString(remote) + L"\\");
}

} // namespace

bool VolumeSerials::IsOtherVolume(const WString& root, const std::string& linkBytes)
{
    if (IsOtherShare(root, linkBytes)) return true;
    uint32_t recorded = 0;
    if (root.empty() || !RecordedVolumeSerial(linkBytes, recorded) || recorded == 0) return false;
    const DWORD now = SerialAt(root);
    return now != 0 && now != recorded;
}

bool IsGoneFromItsVolume(const WString& target, const std::string& linkBytes, VolumeSerials& serials)
{
    return !OnAbsentVolume(target) && !serials.IsOtherVolume(VolumeRootOf(target), linkBytes);
}

bool IsNearTarget(const WString& path, const WString& nearRoot)
{
    const WString root = VolumeRootOf(path);
    return root.empty() || SameRoot(root, nearRoot);
}

size_t VolumeProbe::Ask(const WString& root, std::string linkBytes)
{
    questions_.push_back({root, std::move(linkBytes), WString()});
    return questions_.size() - 1;
}

size_t VolumeProbe::AskPath(const WString& path)
{
    questions_.push_back({VolumeRootOf(path), std::string(), path});
    return questions_.size() - 1;
}

std::vector<ProbedTarget> VolumeProbe::Collect(DWORD boundMs)
{
    if (questions_.empty() || record_) return std::vector<ProbedTarget>(questions_.size());
    record_ = std::make_shared<ProbeRecord>();
    if (!record_->Done) return std::vector<ProbedTarget>(questions_.size());
    record_->Results.resize(questions_.size());
    JobList jobs = GroupByVolume(questions_, record_);
    const bool started = StartWorkers(jobs);
    record_->WorkerDone(); // the starter's own count
    if (started) WaitForSingleObject(record_->Done.get(), boundMs);
    return record_->LetGoOfResults();
}

} // namespace vok
