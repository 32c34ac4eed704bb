// What a volume's answers prove about a link's target. Only "not found" is
// absence, and only when the folder above the target answers as a folder: a
// refusal (another user's folder, a changed ACL, an encrypted folder), a
// network or device error, a lock, or a path the system could not take
// proves nothing, and such a favourite is kept and listed as its link
// records it. The one rule for the caller's thread and the volume workers.
#pragma once

#include "Common/WideString.h"

#include <windows.h>

namespace vok {

enum TargetVerdict : BYTE {
    tvUnanswered = 0,   // no answer in time, or one that proves nothing: listed as recorded, kept
    tvFolder = 1,       // the target exists as a folder
    tvFile = 2,         // ... as a file
    tvGone = 3,         // not found, and the folder above it answers: dead
    tvVolumeAbsent = 4, // not found, nor is anything above it up to its volume's root
};

// What one lookup of a path answered.
enum PathAnswer : BYTE {
    paFolder = 0,
    paFile = 1,
    paNotFound = 2, // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND
    paNoProof = 3,  // any other error
};

// `attributes` as GetFileAttributesW returned them, `error` its last error
// when they are INVALID_FILE_ATTRIBUTES.
PathAnswer AnswerOf(DWORD attributes, DWORD error);

// The verdict from the target's own answer and, when that is "not found",
// the answer of the first folder above it that does not answer "not found"
// (paNotFound when none up to the volume's root does).
TargetVerdict VerdictOf(PathAnswer target, PathAnswer above);

// Asks the target's volume: the target, then, while they answer "not found",
// the folders above it. Paths of any length; wildcards are never expanded.
// Waits as long as the volume does: on the caller's thread only for the
// favourites folder's own volume.
TargetVerdict JudgeTargetPath(const WString& path);

} // namespace vok
