#include "Work/Store/LinkFile.h"

#include <cstdint>
#include <cstring>

namespace vok {
namespace {

constexpr uint32_t kHeaderSize = 0x4C;
constexpr size_t kTargetAttributesOffset = 0x18;
constexpr unsigned char kShellLinkClassId[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Header flags that announce the sections after the header.
constexpr uint32_t kHasItemList = 0x1;
constexpr uint32_t kHasLocation = 0x2;
constexpr uint32_t kIsUnicode = 0x80;
constexpr uint32_t kStringFlags[] = {0x4, 0x8, 0x10, 0x20, 0x40}; // name, relative path, folder, arguments, icon

// Location record flags: which of its parts must be there.
constexpr uint32_t kHasVolumeAndLocalPath = 0x1;
constexpr uint32_t kHasNetworkAndSuffix = 0x2;

// A read-only view of a section of the file: every read is checked against
// the section, so nothing below can look outside the bytes it was given.
class Section {
public:
    Section(const std::string& bytes, size_t begin, size_t size) : bytes_(&bytes), begin_(begin), size_(size) {}

    size_t Size() const { return size_; }

    bool Has(size_t at, size_t count) const { return at <= size_ && count <= size_ - at; }

    bool U16(size_t at, uint32_t& value) const
    {
        if (!Has(at, 2)) return false;
        value = Byte(at) | Byte(at + 1) << 8;
        return true;
    }

    bool U32(size_t at, uint32_t& value) const
    {
        if (!Has(at, 4)) return false;
        value = Byte(at) | Byte(at + 1) << 8 | Byte(at + 2) << 16 | static_cast<uint32_t>(Byte(at + 3)) << 24;
        return true;
    }

    Section Sub(size_t at, size_t size) const { return Section(*bytes_, begin_ + at, size); }

    // A NUL-terminated string of 1- or 2-byte characters starting at `at`
    // ends inside the section.
    bool HasTerminatedString(size_t at, size_t charSize) const
    {
        for (size_t i = at; Has(i, charSize); i += charSize)
            if (Byte(i) == 0 && (charSize == 1 || Byte(i + 1) == 0)) return true;
        return false;
    }

    // A string the shape check has found terminated inside the section:
    // its bytes, without the terminator.
    std::string Text(size_t at, size_t charSize) const
    {
        std::string text;
        for (size_t i = at; Has(i, charSize) && (Byte(i) != 0 || (charSize == 2 && Byte(i + 1) != 0)); i += charSize)
            text.append(&(*bytes_)[begin_ + i], charSize);
        return text;
    }

private:
    uint32_t Byte(size_t at) const { return static_cast<unsigned char>((*bytes_)[begin_ + at]); }

    const std::string* bytes_;
    size_t begin_;
    size_t size_;
};

// The item list: items of at least a size and one byte each, ended by a
// zero size inside the list.
bool IsWellFormedItemList(const Section& file, size_t& pos)
{
    uint32_t listSize = 0;
    if (!file.U16(pos, listSize) || !file.Has(pos + 2, listSize)) return false;
    const Section list = file.Sub(pos + 2, listSize);
    pos += 2 + listSize;
    for (size_t at = 0;;) {
        uint32_t itemSize = 0;
        if (!list.U16(at, itemSize)) return false;
        if (itemSize == 0) return true;
        if (itemSize < 3 || !list.Has(at, itemSize)) return false;
        at += itemSize;
    }
}

// An optional string at the offset stored at `field`: absent when the offset
// is 0, else it must end inside `section`.
bool IsStringAtOffsetWellFormed(const Section& section, size_t field, size_t charSize, bool required)
{
    uint32_t offset = 0;
    if (!section.U32(field, offset)) return false;
    if (offset == 0) return !required;
    return section.HasTerminatedString(offset, charSize);
}

// A part of the location record that begins with its own size and holds
// strings at offsets within itself.
bool IsPartWellFormed(const Section& location, size_t field, size_t minimum, Section& part)
{
    uint32_t offset = 0, size = 0;
    if (!location.U32(field, offset) || offset == 0 || !location.U32(offset, size)) return false;
    if (size < minimum || !location.Has(offset, size)) return false;
    part = location.Sub(offset, size);
    return true;
}

bool IsVolumeWellFormed(const Section& location)
{
    Section volume = location;
    if (!IsPartWellFormed(location, 0x0C, 0x10, volume)) return false;
    uint32_t labelOffset = 0;
    volume.U32(0x0C, labelOffset);
    if (labelOffset == 0x14) return IsStringAtOffsetWellFormed(volume, 0x10, 2, true);
    return volume.HasTerminatedString(labelOffset, 1);
}

bool IsNetworkWellFormed(const Section& location)
{
    Section network = location;
    if (!IsPartWellFormed(location, 0x14, 0x14, network)) return false;
    uint32_t nameOffset = 0;
    network.U32(0x08, nameOffset);
    if (!IsStringAtOffsetWellFormed(network, 0x08, 1, true) || !IsStringAtOffsetWellFormed(network, 0x0C, 1, false))
        return false;
    return nameOffset <= 0x14 ||
           (IsStringAtOffsetWellFormed(network, 0x14, 2, false) && IsStringAtOffsetWellFormed(network, 0x18, 2, false));
}

// The location record: its parts and strings inside it, the parts its flags
// announce present.
bool IsWellFormedLocation(const Section& file, size_t& pos)
{
    uint32_t size = 0, headerSize = 0, flags = 0;
    if (!file.U32(pos, size) || size < 0x1C || !file.Has(pos, size)) return false;
    const Section location = file.Sub(pos, size);
    pos += size;
    location.U32(0x04, headerSize);
    location.U32(0x08, flags);
    if (headerSize < 0x1C || headerSize > size || (headerSize > 0x1C && headerSize < 0x24)) return false;
    const bool local = (flags & kHasVolumeAndLocalPath) != 0, network = (flags & kHasNetworkAndSuffix) != 0;
    if (local && (!IsVolumeWellFormed(location) || !IsStringAtOffsetWellFormed(location, 0x10, 1, true))) return false;
    if (network && !IsNetworkWellFormed(location)) return false;
    if (!IsStringAtOffsetWellFormed(location, 0x18, 1, false)) return false;
    return headerSize < 0x24 || (IsStringAtOffsetWellFormed(location, 0x1C, 2, false) &&
                                 IsStringAtOffsetWellFormed(location, 0x20, 2, false));
}

bool AreStringsWellFormed(const Section& file, uint32_t flags, size_t& pos)
{
    const size_t charSize = (flags & kIsUnicode) ? 2 : 1;
    for (const uint32_t flag : kStringFlags) {
        if (!(flags & flag)) continue;
        uint32_t count = 0;
        if (!file.U16(pos, count) || !file.Has(pos + 2, count * charSize)) return false;
        pos += 2 + count * charSize;
    }
    return true;
}

// The least size of the extra data blocks that the loader reads field by
// field; a shorter one would have it read past the block.
uint32_t LeastBlockSize(uint32_t signature)
{
    switch (signature) {
    case 0xA0000001:               // environment variable target
    case 0xA0000006:               // installer identifier
    case 0xA0000007: return 0x314; // environment variable icon
    case 0xA0000002: return 0xCC;  // console
    case 0xA0000003: return 0x60;  // distributed link tracker
    case 0xA0000004: return 0x0C;  // console code page
    case 0xA0000005: return 0x10;  // special folder
    case 0xA0000008: return 0x88;  // shim layer
    case 0xA000000B: return 0x1C;  // known folder
    default: return 0x08;
    }
}

// The blocks that carry a target or icon as a 260-character ANSI string and
// a 260-character wide string; both must end inside their fields.
bool IsPathBlockWellFormed(const Section& block)
{
    return block.Sub(0x08, 260).HasTerminatedString(0, 1) && block.Sub(0x10C, 520).HasTerminatedString(0, 2);
}

bool AreExtraBlocksWellFormed(const Section& file, size_t pos)
{
    for (;;) {
        uint32_t size = 0, signature = 0;
        if (!file.U32(pos, size) || size < 4) return true; // the end block, or the file's end
        if (!file.Has(pos, size) || !file.U32(pos + 4, signature) || size < LeastBlockSize(signature)) return false;
        const bool pathBlock = signature == 0xA0000001 || signature == 0xA0000006 || signature == 0xA0000007;
        if (pathBlock && !IsPathBlockWellFormed(file.Sub(pos, size))) return false;
        pos += size;
    }
}

uint32_t HeaderFlags(const Section& file)
{
    uint32_t flags = 0;
    file.U32(0x14, flags);
    return flags;
}

} // namespace

bool IsWellFormedLink(const std::string& bytes)
{
    if (bytes.size() < kHeaderSize || bytes.size() > kMaxLinkFileSize) return false;
    const Section file(bytes, 0, bytes.size());
    uint32_t headerSize = 0, flags = 0;
    file.U32(0, headerSize);
    file.U32(0x14, flags);
    if (headerSize != kHeaderSize || std::memcmp(bytes.data() + 4, kShellLinkClassId, 16) != 0) return false;
    size_t pos = kHeaderSize;
    if ((flags & kHasItemList) && !IsWellFormedItemList(file, pos)) return false;
    if ((flags & kHasLocation) && !IsWellFormedLocation(file, pos)) return false;
    return AreStringsWellFormed(file, flags, pos) && AreExtraBlocksWellFormed(file, pos);
}

uint32_t RecordedTargetAttributes(const std::string& bytes)
{
    uint32_t attributes = 0;
    Section(bytes, 0, bytes.size()).U32(kTargetAttributesOffset, attributes);
    return attributes;
}

namespace {

// The location record of a well-formed link that has one.
bool FindLocation(const std::string& bytes, Section& location)
{
    if (!IsWellFormedLink(bytes)) return false;
    const Section file(bytes, 0, bytes.size());
    const uint32_t flags = HeaderFlags(file);
    size_t pos = kHeaderSize;
    uint32_t listSize = 0, size = 0;
    if ((flags & kHasItemList) && file.U16(pos, listSize)) pos += 2 + listSize;
    if (!(flags & kHasLocation) || !file.U32(pos, size)) return false;
    location = file.Sub(pos, size);
    return true;
}

uint32_t LocationFlags(const Section& location)
{
    uint32_t flags = 0;
    location.U32(0x08, flags);
    return flags;
}

// The string at the offset stored at `field`, empty for offset 0.
std::string TextAt(const Section& section, size_t field, size_t charSize)
{
    uint32_t offset = 0;
    if (!section.U32(field, offset) || offset == 0) return std::string();
    return section.Text(offset, charSize);
}

RecordedText Joined(RecordedText head, const RecordedText& suffix, bool separated)
{
    const bool wide = head.IsWide && (suffix.IsWide || suffix.Ansi.empty());
    if (wide) {
        const std::u16string tail = suffix.Wide;
        if (separated && !tail.empty()) head.Wide += u'\\';
        head.Wide += tail;
        return head;
    }
    if (separated && !suffix.Ansi.empty()) head.Ansi += '\\';
    head.Ansi += suffix.Ansi;
    head.IsWide = false;
    return head;
}

// A pair of strings, ANSI at `ansiField` and wide at `wideField` (0: none).
RecordedText TextPair(const Section& section, size_t ansiField, size_t wideField)
{
    RecordedText text;
    text.Ansi = TextAt(section, ansiField, 1);
    const std::string wide = wideField ? TextAt(section, wideField, 2) : std::string();
    text.IsWide = !wide.empty();
    for (size_t i = 0; i + 1 < wide.size(); i += 2)
        text.Wide += static_cast<char16_t>(static_cast<unsigned char>(wide[i]) | static_cast<unsigned char>(wide[i + 1])
                                                                                     << 8);
    return text;
}

bool NetworkPart(const Section& location, Section& network)
{
    uint32_t offset = 0, size = 0;
    if (!(LocationFlags(location) & kHasNetworkAndSuffix) || !location.U32(0x14, offset) || !location.U32(offset, size))
        return false;
    network = location.Sub(offset, size);
    return true;
}

// The network part's wide strings exist only when its name comes after them.
RecordedText NetNameOf(const Section& network)
{
    uint32_t nameOffset = 0;
    network.U32(0x08, nameOffset);
    return TextPair(network, 0x08, nameOffset > 0x14 ? 0x14 : 0);
}

} // namespace

bool RecordedVolumeSerial(const std::string& bytes, uint32_t& serial)
{
    Section location(bytes, 0, 0);
    uint32_t volume = 0;
    if (!FindLocation(bytes, location) || !(LocationFlags(location) & kHasVolumeAndLocalPath)) return false;
    // The shape check has placed the volume part, at least 0x10 bytes long,
    // inside the record.
    return location.U32(0x0C, volume) && location.U32(volume + 0x08, serial);
}

bool RecordedTargetPath(const std::string& bytes, RecordedText& path)
{
    Section location(bytes, 0, 0), network(bytes, 0, 0);
    if (!FindLocation(bytes, location)) return false;
    uint32_t headerSize = 0;
    location.U32(0x04, headerSize);
    const bool wide = headerSize >= 0x24;
    const RecordedText suffix = TextPair(location, 0x18, wide ? 0x20 : 0);
    if (LocationFlags(location) & kHasVolumeAndLocalPath)
        path = Joined(TextPair(location, 0x10, wide ? 0x1C : 0), suffix, false);
    else if (NetworkPart(location, network))
        path = Joined(NetNameOf(network), suffix, true);
    else
        return false;
    return !path.Wide.empty() || !path.Ansi.empty();
}

bool RecordedNetName(const std::string& bytes, RecordedText& name)
{
    Section location(bytes, 0, 0), network(bytes, 0, 0);
    if (!FindLocation(bytes, location) || !NetworkPart(location, network)) return false;
    name = NetNameOf(network);
    return !name.Wide.empty() || !name.Ansi.empty();
}

bool HasItemList(const std::string& bytes)
{
    return IsWellFormedLink(bytes) && (HeaderFlags(Section(bytes, 0, bytes.size())) & kHasItemList);
}

} // namespace vok
