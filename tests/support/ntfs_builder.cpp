#include "tests/support/ntfs_builder.h"

#include "ntfs/mft_record.h"
#include "partition/volume_parameters.h"

#include <cstring>

namespace salvex::test {

namespace {

void put_le(Bytes& b, size_t at, uint64_t value, size_t width) {
    if (b.size() < at + width)
        b.resize(at + width, 0);
    for (size_t i = 0; i < width; ++i)
        b[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

size_t unsigned_width(uint64_t v) {
    size_t n = 1;
    while (n < 8 && (v >> (8 * n)) != 0)
        ++n;
    return n;
}

size_t signed_width(int64_t v) {
    for (size_t n = 1; n < 8; ++n) {
        const int64_t lo = -(int64_t{1} << (8 * n - 1));
        const int64_t hi = (int64_t{1} << (8 * n - 1)) - 1;
        if (v >= lo && v <= hi)
            return n;
    }
    return 8;
}

Bytes utf16(const std::u16string& text) {
    Bytes b;
    for (const char16_t c : text) {
        b.push_back(static_cast<uint8_t>(c));
        b.push_back(static_cast<uint8_t>(c >> 8));
    }
    return b;
}

// Attribute header common part; the name goes right after the header of `headerSize` bytes.
Bytes attribute_header(uint32_t type, bool nonResident, const std::u16string& name,
                       size_t headerSize, uint16_t id) {
    Bytes a(headerSize, 0);
    put_le(a, attribute::kType, type, 4);
    a[attribute::kNonResident] = nonResident ? 1 : 0;
    a[attribute::kNameLength] = static_cast<uint8_t>(name.size());
    put_le(a, 0x0A, headerSize, 2); // name offset
    put_le(a, attribute::kAttributeId, id, 2);
    const Bytes n = utf16(name);
    a.insert(a.end(), n.begin(), n.end());
    while (a.size() % 8 != 0)
        a.push_back(0);
    return a;
}

void finish_attribute(Bytes& a) {
    while (a.size() % 8 != 0)
        a.push_back(0);
    put_le(a, attribute::kLength, a.size(), 4);
}

} // namespace

Bytes encode_runs(const std::vector<RunSpec>& runs) {
    Bytes out;
    int64_t previous = 0;
    for (const RunSpec& run : runs) {
        const size_t lengthBytes = unsigned_width(run.clusters);
        size_t offsetBytes = 0;
        int64_t delta = 0;
        if (run.lcn) {
            delta = static_cast<int64_t>(*run.lcn) - previous;
            offsetBytes = signed_width(delta);
            previous = static_cast<int64_t>(*run.lcn);
        }
        out.push_back(static_cast<uint8_t>((offsetBytes << 4) | lengthBytes));
        const size_t at = out.size();
        put_le(out, at, run.clusters, lengthBytes);
        if (offsetBytes)
            put_le(out, at + lengthBytes, static_cast<uint64_t>(delta), offsetBytes);
    }
    out.push_back(0);
    return out;
}

RecordBuilder& RecordBuilder::resident(uint32_t type, const Bytes& value,
                                       const std::u16string& name) {
    Bytes a = attribute_header(type, false, name, attribute::kResidentHeader, nextId_++);
    put_le(a, attribute::kValueLength, value.size(), 4);
    put_le(a, attribute::kValueOffset, a.size(), 2);
    a.insert(a.end(), value.begin(), value.end());
    finish_attribute(a);
    attributes_.push_back(std::move(a));
    return *this;
}

RecordBuilder& RecordBuilder::file_name(uint32_t parent, const std::u16string& name,
                                        NameSpace space, uint64_t created, uint64_t changed) {
    Bytes v(file_name::kName, 0);
    put_le(v, file_name::kParent, parent, 4);
    put_le(v, 0x06, parentSequence_, 2); // parent sequence number
    put_le(v, file_name::kCreationTime, created, 8);
    put_le(v, file_name::kChangeTime, changed, 8);
    v[file_name::kNameLength] = static_cast<uint8_t>(name.size());
    v[file_name::kNamespace] = static_cast<uint8_t>(space);
    const Bytes n = utf16(name);
    v.insert(v.end(), n.begin(), n.end());
    return resident(kFileName, v, u"");
}

RecordBuilder& RecordBuilder::resident_data(const Bytes& value, const std::u16string& name) {
    return resident(kData, value, name);
}

RecordBuilder& RecordBuilder::non_resident_data(const Bytes& runList, uint64_t dataSize,
                                                uint64_t lowestVcn, const std::u16string& name,
                                                uint16_t id, uint16_t flags) {
    Bytes a = attribute_header(kData, true, name, attribute::kNonResidentHeader, id);
    put_le(a, attribute::kFlags, flags, 2);
    put_le(a, attribute::kLowestVcn, lowestVcn, 8);
    put_le(a, attribute::kRunListOffset, a.size(), 2);
    put_le(a, attribute::kAllocatedSize, (dataSize + 4095) / 4096 * 4096, 8);
    put_le(a, attribute::kDataSize, dataSize, 8);
    put_le(a, 0x38, dataSize, 8); // initialized size
    a.insert(a.end(), runList.begin(), runList.end());
    finish_attribute(a);
    attributes_.push_back(std::move(a));
    nextId_ = static_cast<uint16_t>(std::max<int>(nextId_, id + 1));
    return *this;
}

Bytes attribute_list_value(const std::vector<AttributeListSpec>& entries) {
    Bytes v;
    for (const AttributeListSpec& e : entries) {
        const size_t at = v.size();
        put_le(v, at + 0x00, e.type, 4);
        put_le(v, at + 0x04, 0x20, 2);
        v[at + 0x06] = e.nameLength;
        v[at + 0x07] = 0x1A;
        put_le(v, at + 0x08, e.lowestVcn, 8);
        put_le(v, at + 0x10, e.record, 4);
        put_le(v, at + 0x16, 1, 2); // sequence number
        put_le(v, at + 0x18, e.attributeId, 2);
        v.resize(at + 0x20, 0);
    }
    return v;
}

RecordBuilder& RecordBuilder::attribute_list(const std::vector<AttributeListSpec>& entries) {
    return resident(kAttributeList, attribute_list_value(entries), u"");
}

RecordBuilder& RecordBuilder::non_resident_attribute_list(const Bytes& runList, uint64_t dataSize) {
    Bytes a = attribute_header(kAttributeList, true, u"", attribute::kNonResidentHeader, nextId_++);
    put_le(a, attribute::kRunListOffset, a.size(), 2);
    put_le(a, attribute::kDataSize, dataSize, 8);
    a.insert(a.end(), runList.begin(), runList.end());
    finish_attribute(a);
    attributes_.push_back(std::move(a));
    return *this;
}

RecordBuilder& RecordBuilder::raw(const Bytes& attribute) {
    attributes_.push_back(attribute);
    return *this;
}

RecordBytes RecordBuilder::build() const {
    RecordBytes r{};
    std::memcpy(r.data(), "FILE", 4);
    constexpr size_t kArray = 0x30;
    r[mft_record::kFixupOffset] = kArray;
    r[mft_record::kFixupCount] = 3;
    r[0x10] = static_cast<uint8_t>(sequence_); // sequence number
    r[0x11] = static_cast<uint8_t>(sequence_ >> 8);
    r[0x12] = 1; // link count
    r[mft_record::kFirstAttribute] = 0x38;
    r[mft_record::kFlags] = static_cast<uint8_t>(flags_);
    for (int i = 0; i < 8; ++i)
        r[0x20 + i] = static_cast<uint8_t>(baseRecord_ >> (8 * i));
    size_t at = 0x38;
    for (const Bytes& a : attributes_) {
        if (at + a.size() + 8 > r.size())
            break; // the record is full
        std::memcpy(r.data() + at, a.data(), a.size());
        at += a.size();
    }
    std::memset(r.data() + at, 0xFF, 4); // end marker
    r[0x18] = static_cast<uint8_t>((at + 8) & 0xFF);
    r[0x19] = static_cast<uint8_t>((at + 8) >> 8);
    r[0x1C] = 0x00;
    r[0x1D] = 0x04; // allocated size 1,024
    // Protect the sector ends: save them in the array, write the check value in their place.
    constexpr uint8_t kCheck[2] = {0x2A, 0x00};
    r[kArray] = kCheck[0];
    r[kArray + 1] = kCheck[1];
    for (size_t s = 0; s < 2; ++s) {
        const size_t end = 0x1FE + 0x200 * s;
        r[kArray + 2 + 2 * s] = r[end];
        r[kArray + 3 + 2 * s] = r[end + 1];
        r[end] = kCheck[0];
        r[end + 1] = kCheck[1];
    }
    return r;
}

std::array<uint8_t, kSectorSize> ntfs_boot_sector(const BootFields& fields) {
    std::array<uint8_t, kSectorSize> b{};
    b[0] = 0xEB;
    b[1] = 0x52;
    b[2] = 0x90;
    std::memcpy(b.data() + ntfs_boot::kOemId, "NTFS    ", 8);
    b[0x0B] = 0x00;
    b[0x0C] = 0x02; // 512 bytes per sector
    b[ntfs_boot::kSectorsPerCluster] = fields.sectorsPerClusterByte;
    b[0x15] = 0xF8;
    for (int i = 0; i < 8; ++i) {
        b[ntfs_boot::kTotalSectors + i] = static_cast<uint8_t>(fields.totalSectors >> (8 * i));
        b[ntfs_boot::kMftCluster + i] = static_cast<uint8_t>(fields.mftCluster >> (8 * i));
        b[ntfs_boot::kMftMirrorCluster + i] = static_cast<uint8_t>(fields.mirrorCluster >> (8 * i));
    }
    b[0x40] = 0xF6; // 1,024-byte records
    b[ntfs_boot::kClustersPerIndexBlock] = fields.clustersPerIndexBlock;
    b[510] = 0x55;
    b[511] = 0xAA;
    return b;
}

RecordBuilder mft_record_zero(const std::vector<RunSpec>& runs, uint32_t spc) {
    uint64_t clusters = 0;
    for (const RunSpec& r : runs)
        clusters += r.clusters;
    RecordBuilder record(kFileInUse);
    record.file_name(5, u"$MFT", NameSpace::Win32AndDos)
        .non_resident_data(encode_runs(runs), clusters * spc * kSectorSize);
    return record;
}

NtfsVolumeBuilder::NtfsVolumeBuilder(MemoryDevice& disk, Lba start, const BootFields& fields,
                                     uint32_t mftRecords)
    : disk_(disk), start_(start), fields_(fields),
      spc_(*decode_sectors_per_cluster(fields.sectorsPerClusterByte)) {
    const auto boot = ntfs_boot_sector(fields_);
    disk_.write(start_, boot);
    disk_.write(start_ + fields_.totalSectors, boot);
    const uint64_t mftClusters = (uint64_t{mftRecords} * 2 + spc_ - 1) / spc_;
    put(0, mft_record_zero({{mftClusters, fields_.mftCluster}}, spc_));
    put(5, RecordBuilder(kFolderInUse).file_name(5, u".", NameSpace::Win32AndDos));
    // $MFTMirr holds a copy of the first records.
    const auto zero = mft_record_zero({{mftClusters, fields_.mftCluster}}, spc_).build();
    disk_.write(cluster_sector(fields_.mirrorCluster), zero);
}

NtfsVolumeBuilder& NtfsVolumeBuilder::put(uint32_t n, const RecordBuilder& record) {
    return put_at(record_sector(n), record);
}

NtfsVolumeBuilder& NtfsVolumeBuilder::put_at(Lba sector, const RecordBuilder& record) {
    const RecordBytes bytes = record.build();
    disk_.write(sector, bytes);
    return *this;
}

} // namespace salvex::test
