#include "ntfs/mft_record.h"

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

void apply_fixup(std::span<uint8_t> record) {
    const ByteView bytes(record);
    const uint16_t array = le16(bytes, mft_record::kFixupOffset).value_or(0);
    const uint16_t count = le16(bytes, mft_record::kFixupCount).value_or(0);
    for (size_t i = 0; i + 1 < count; ++i) {
        const size_t target = 0x1FE + 0x200 * i;
        const size_t source = array + 2 + 2 * i;
        if (target + 2 > record.size() || source + 2 > record.size())
            return;
        record[target] = record[source];
        record[target + 1] = record[source + 1];
    }
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
