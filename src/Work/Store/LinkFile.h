// The shape of a shell link file (".lnk"), checked before the system's link
// object is given it. A damaged link whose sizes and offsets point past their
// own sections can make the loader read beyond what it allocated and fault in
// the host; a link that fails this check is unreadable, like any other link
// that cannot be loaded, and so is kept and never judged. Plain code over
// bytes, with no system calls, so that it can be fuzzed natively.
#pragma once

#include <cstdint>
#include <string>

namespace vok {

// A link file larger than this is not read at all (real links are a few
// KiB; the largest sections they can hold come to well under this).
constexpr size_t kMaxLinkFileSize = size_t{1024} * 1024;

// True when every size and offset in `bytes` stays inside the file and the
// section it belongs to: the header, the item list, the location record with
// its volume and network parts, the counted strings and the extra data
// blocks, each block of a kind the loader reads in full at least that long.
bool IsWellFormedLink(const std::string& bytes);

// The attributes (FILE_ATTRIBUTE_*) that the header of a well-formed link
// records of its target as it was when the link was saved: what is known of
// the target without asking its volume.
uint32_t RecordedTargetAttributes(const std::string& bytes);

// The serial number of the target's volume as the location record of a
// well-formed link holds it (its volume part); false when the link records
// none, as a link to a network path or to an item list only does.
bool RecordedVolumeSerial(const std::string& bytes, uint32_t& serial);

// A text a link records: UTF-16 where the link has it (IsWide), else the
// bytes of the ANSI code page it was saved under.
struct RecordedText {
    std::u16string Wide;
    std::string Ansi;
    bool IsWide = false;
};

// The target path the location record of a well-formed link holds, whole,
// whatever its length: its local path, or its share's name, each with the
// common suffix. False when the link records none.
bool RecordedTargetPath(const std::string& bytes, RecordedText& path);

// The name of the share a well-formed link's target was reached through
// ("\\server\share"), as its network part records it; false when it has none.
bool RecordedNetName(const std::string& bytes, RecordedText& name);

// Whether a well-formed link holds an item list: with no path beside it, its
// target is an object of the shell ("This PC", a library, a phone, a folder
// inside a zip) that has no file-system path.
bool HasItemList(const std::string& bytes);

} // namespace vok
