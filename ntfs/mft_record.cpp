#include "ntfs/mft_record.h"

#include "disk/sector.h"
#include "ntfs/utf16.h"

#include <algorithm>

namespace salvex {

std::optional<ByteView> AttributeView::resident_value() const {
    if (non_resident())
        return std::nullopt;
    const auto length = le32(bytes, attribute::kValueLength);
    const auto offset = le16(bytes, attribute::kValueOffset);
    if (!length || !offset || *offset > bytes.size() || bytes.size() - *offset < *length)
        return std::nullopt;
    return bytes.subspan(*offset, *length);
}

bool has_file_signature(ByteView record) {
    return has_text_at(record, mft_record::kSignature, "FILE");
}

FixupResult apply_fixup_counting(std::span<uint8_t> record) {
    const ByteView bytes(record);
    const uint16_t array = le16(bytes, mft_record::kFixupOffset).value_or(0);
    const uint16_t count = le16(bytes, mft_record::kFixupCount).value_or(0);
    const auto check = le16(bytes, array);
    FixupResult result;
    bool torn = !check.has_value();
    for (size_t i = 0; i + 1 < count; ++i) {
        const size_t target = 0x1FE + 0x200 * i;
        const size_t source = array + 2 + 2 * i;
        if (target + 2 > record.size() || source + 2 > record.size())
            return result;
        torn = torn || le16(bytes, target) != check;
        if (!torn)
            ++result.intactSectors;
        record[target] = record[source];
        record[target + 1] = record[source + 1];
    }
    result.whole = count == record.size() / kSectorSize + 1 && !torn;
    return result;
}

bool apply_fixup(std::span<uint8_t> record) {
    return apply_fixup_counting(record).whole;
}

bool is_sane_file_record(ByteView record) {
    if (!has_file_signature(record) || record.size() < kSectorSize)
        return false;
    const uint16_t array = le16(record, mft_record::kFixupOffset).value_or(0);
    const uint16_t count = le16(record, mft_record::kFixupCount).value_or(0);
    const uint16_t first = le16(record, mft_record::kFirstAttribute).value_or(0);
    const uint32_t used = le32(record, mft_record::kUsedSize).value_or(0);
    return array >= mft_record::kMinimumHeader && array % 2 == 0 &&
           count == record.size() / kSectorSize + 1 && array + 2u * count <= kSectorSize - 2 &&
           first >= array + 2u * count && first % 8 == 0 && used <= record.size() &&
           first + 4u <= used;
}

uint16_t record_sequence(ByteView record) {
    return le16(record, mft_record::kSequence).value_or(0);
}

MftReference base_reference(ByteView record) {
    return decode_reference(le64(record, mft_record::kBaseRecord).value_or(0));
}

bool is_extension_record(ByteView record) {
    return le64(record, mft_record::kBaseRecord).value_or(0) != 0;
}

std::optional<uint32_t> own_record_number(ByteView record) {
    if (le16(record, mft_record::kFixupOffset).value_or(0) < mft_record::kRecordNumber + 4)
        return std::nullopt;
    return le32(record, mft_record::kRecordNumber);
}

std::optional<AttributeView> find_unnamed_attribute(ByteView record, uint32_t type) {
    std::optional<AttributeView> found;
    for_each_attribute(record, [&](const AttributeView& a) {
        if (a.type == type && a.unnamed()) {
            found = a;
            return false;
        }
        return true;
    });
    return found;
}

} // namespace salvex

namespace salvex {

std::optional<AttributeView> find_named_attribute(ByteView record, uint32_t type,
                                                  std::string_view name) {
    std::optional<AttributeView> found;
    for_each_attribute(record, [&](const AttributeView& a) {
        if (a.type != type || a.unnamed())
            return true;
        if (a.non_resident() && le64(a.bytes, attribute::kLowestVcn).value_or(1) != 0)
            return true;
        const uint8_t units = le8(a.bytes, attribute::kNameLength).value_or(0);
        const uint16_t at = le16(a.bytes, attribute::kNameOffset).value_or(0);
        if (utf16le_to_utf8(a.bytes, at, units) == name) {
            found = a;
            return false;
        }
        return true;
    });
    return found;
}

uint64_t record_last_written(ByteView record) {
    const auto info = find_unnamed_attribute(record, kStandardInformation);
    const auto value = info ? info->resident_value() : std::nullopt;
    if (!value)
        return 0;
    using namespace standard_information;
    return std::max({le64(*value, kCreationTime).value_or(0),
                     le64(*value, kModificationTime).value_or(0),
                     le64(*value, kRecordChangeTime).value_or(0)});
}

} // namespace salvex
