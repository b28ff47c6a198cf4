#include "ntfs/file_name.h"

#include "ntfs/mft_record.h"
#include "ntfs/utf16.h"

#include <array>

namespace salvex {

namespace {

FileNameInfo decode_file_name(ByteView value) {
    FileNameInfo info;
    const MftReference parent = decode_reference(le64(value, file_name::kParent).value_or(0));
    info.parent = static_cast<uint32_t>(parent.record);
    info.parentSequence = parent.sequence;
    info.creationTime = le64(value, file_name::kCreationTime).value_or(0);
    info.changeTime = le64(value, file_name::kChangeTime).value_or(0);
    info.name =
        utf16le_to_utf8(value, file_name::kName, le8(value, file_name::kNameLength).value_or(0));
    return info;
}

} // namespace

std::optional<FileNameInfo> find_file_name(ByteView record, NameSpace space) {
    std::optional<FileNameInfo> found;
    for_each_attribute(record, [&](const AttributeView& a) {
        if (a.type != kFileName || !a.unnamed())
            return true;
        const auto value = a.resident_value();
        if (!value || le8(*value, file_name::kNamespace) != static_cast<uint8_t>(space))
            return true;
        const uint8_t length = le8(*value, file_name::kNameLength).value_or(0);
        if (file_name::kName + 2 * size_t{length} > value->size())
            return true; // the name would leave its attribute: not a usable name
        found = decode_file_name(*value);
        return false;
    });
    return found;
}

std::optional<FileNameInfo> find_display_name(ByteView record) {
    // One walk: the first name of each namespace is remembered, then the preferred one taken.
    constexpr std::array<NameSpace, 4> kPreference = {NameSpace::Win32, NameSpace::Win32AndDos,
                                                      NameSpace::Dos, NameSpace::Posix};
    std::array<std::optional<ByteView>, 4> first; // by namespace number
    for_each_attribute(record, [&](const AttributeView& a) {
        if (a.type != kFileName || !a.unnamed())
            return true;
        const auto value = a.resident_value();
        const auto space = value ? le8(*value, file_name::kNamespace) : std::nullopt;
        if (!space || *space > 3 || first[*space])
            return true;
        const uint8_t length = le8(*value, file_name::kNameLength).value_or(0);
        if (file_name::kName + 2 * size_t{length} <= value->size())
            first[*space] = *value;
        return !first[static_cast<size_t>(NameSpace::Win32)];
    });
    for (const NameSpace space : kPreference) {
        if (const auto& value = first[static_cast<size_t>(space)])
            return decode_file_name(*value);
    }
    return std::nullopt;
}

std::vector<NamedEntry> file_names(ByteView record) {
    std::vector<NamedEntry> names;
    for_each_attribute(record, [&](const AttributeView& a) {
        if (a.type != kFileName || !a.unnamed())
            return true;
        const auto value = a.resident_value();
        const auto space = value ? le8(*value, file_name::kNamespace) : std::nullopt;
        if (!space || *space > 3)
            return true;
        const uint8_t length = le8(*value, file_name::kNameLength).value_or(0);
        if (file_name::kName + 2 * size_t{length} <= value->size())
            names.push_back({decode_file_name(*value), static_cast<NameSpace>(*space)});
        return true;
    });
    return names;
}

std::vector<StreamInfo> named_streams(ByteView record) {
    std::vector<StreamInfo> streams;
    for_each_attribute(record, [&](const AttributeView& a) {
        if (a.type != kData || a.unnamed())
            return true;
        const uint8_t units = le8(a.bytes, attribute::kNameLength).value_or(0);
        const uint16_t nameAt = le16(a.bytes, attribute::kNameOffset).value_or(0);
        if (nameAt + 2 * size_t{units} > a.bytes.size())
            return true;
        std::optional<uint64_t> size;
        if (!a.non_resident())
            size = le32(a.bytes, attribute::kValueLength);
        else if (le64(a.bytes, attribute::kLowestVcn).value_or(1) == 0)
            size = le64(a.bytes, attribute::kDataSize);
        if (size)
            streams.push_back({utf16le_to_utf8(a.bytes, nameAt, units), *size});
        return true;
    });
    return streams;
}

std::optional<uint64_t> find_data_size(ByteView record) {
    // Only the part of a non-resident $DATA that starts at cluster 0 carries the sizes; parts
    // further on, kept in extension records, have zeros there.
    std::optional<uint64_t> size;
    for_each_attribute(record, [&](const AttributeView& a) {
        if (a.type != kData || !a.unnamed())
            return true;
        if (!a.non_resident()) {
            size = le32(a.bytes, attribute::kValueLength);
            return false;
        }
        if (le64(a.bytes, attribute::kLowestVcn).value_or(1) != 0)
            return true;
        size = le64(a.bytes, attribute::kDataSize);
        return false;
    });
    return size;
}

} // namespace salvex
