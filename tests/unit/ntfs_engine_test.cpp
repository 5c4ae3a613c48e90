// The NTFS engine on volumes built byte by byte: boot sector, record parse, streams, the deleted-file
// scan's folder chains and filter, and reading files (sparse, compressed, past the initialized size,
// through an attribute list).
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/filter.h"
#include "core/lznt1.h"
#include "engines/ntfs/ntfs_row_text.h"
#include "engines/ntfs/ntfs_volume.h"

namespace lumacore {
namespace {

constexpr std::uint32_t kCluster = 4096;
constexpr std::uint64_t kMftCluster = 4;
constexpr std::uint32_t kFileFlagArchive = 0x20;

void Put(std::vector<std::byte>& out, std::size_t at, std::uint64_t value, std::size_t n) {
    ASSERT_LE(at + n, out.size()) << "the test builds a record that does not fit";
    PutLe(out, at, value, n);
}

void Copy(const std::vector<std::byte>& from, std::vector<std::byte>& to, std::size_t at) {
    ASSERT_LE(at + from.size(), to.size()) << "the test builds a record that does not fit";
    std::copy(from.begin(), from.end(), to.begin() + static_cast<std::ptrdiff_t>(at));
}

std::vector<std::byte> Utf16(const std::u16string& text) {
    std::vector<std::byte> out;
    for (char16_t c : text) {
        out.push_back(static_cast<std::byte>(c & 0xFF));
        out.push_back(static_cast<std::byte>(c >> 8));
    }
    return out;
}

std::vector<std::byte> Bytes(const std::string& text) {
    std::vector<std::byte> out;
    for (char c : text) out.push_back(static_cast<std::byte>(c));
    return out;
}

std::uint64_t Ref(std::uint64_t record, std::uint16_t sequence) { return record | (std::uint64_t{sequence} << 48); }

// Builds one MFT record the way NTFS lays it out, fix-ups included.
class RecordBuilder {
public:
    explicit RecordBuilder(std::uint32_t size = 1024, bool inUse = false, std::uint16_t sequence = 2,
                           std::uint64_t baseReference = 0)
        : bytes_(size) {
        std::memcpy(bytes_.data(), "FILE", 4);
        Put(bytes_, 0x04, 0x30, 2);
        Put(bytes_, 0x06, size / 512 + 1, 2);
        Put(bytes_, 0x10, sequence, 2);
        at_ = (0x30 + 2 * (size / 512 + 1) + 7) / 8 * 8;  // after the update-sequence array
        Put(bytes_, 0x14, at_, 2);
        Put(bytes_, 0x16, inUse ? 1 : 0, 2);
        Put(bytes_, 0x1C, size, 4);
        Put(bytes_, 0x20, baseReference, 8);
    }

    // The record's own number, kept in NTFS 3.1 headers.
    RecordBuilder& Number(std::uint32_t n) {
        Put(bytes_, 0x2C, n, 4);
        return *this;
    }

    RecordBuilder& Folder() {
        Put(bytes_, 0x16, (bytes_[0x16] == std::byte{1} ? 1 : 0) | 2, 2);
        return *this;
    }

    RecordBuilder& StandardInformation(std::uint64_t created, std::uint32_t attributes) {
        std::vector<std::byte> v(0x48);
        Put(v, 0x00, created, 8);
        Put(v, 0x08, created + 10000000, 8);
        Put(v, 0x18, created + 20000000, 8);
        Put(v, 0x20, attributes, 4);
        return Resident(0x10, u"", v);
    }

    RecordBuilder& FileName(std::uint64_t parent, const std::u16string& name, std::uint32_t flags = kFileFlagArchive,
                            std::uint8_t nameSpace = 1) {
        std::vector<std::byte> v(0x42);
        Put(v, 0x00, parent, 8);
        Put(v, 0x38, flags, 4);
        Put(v, 0x40, name.size(), 1);
        Put(v, 0x41, nameSpace, 1);
        const auto text = Utf16(name);
        v.insert(v.end(), text.begin(), text.end());
        return Resident(0x30, u"", v);
    }

    RecordBuilder& Resident(std::uint32_t type, const std::u16string& name, const std::vector<std::byte>& value) {
        const std::size_t nameOffset = 0x18;
        const std::size_t valueOffset = (nameOffset + name.size() * 2 + 7) / 8 * 8;
        const std::size_t length = (valueOffset + value.size() + 7) / 8 * 8;
        Header(type, length, false, name, nameOffset, 0);
        Put(bytes_, at_ + 0x10, value.size(), 4);
        Put(bytes_, at_ + 0x14, valueOffset, 2);
        Copy(value, bytes_, at_ + valueOffset);
        at_ += length;
        return *this;
    }

    RecordBuilder& NonResident(std::uint32_t type, const std::u16string& name, std::uint64_t firstVcn,
                               std::uint64_t lastVcn, const std::vector<std::byte>& runs, std::uint64_t dataSize,
                               std::uint64_t initializedSize, std::uint16_t flags = 0, std::uint8_t unitShift = 0) {
        const std::size_t nameOffset = 0x40;
        const std::size_t runsOffset = (nameOffset + name.size() * 2 + 7) / 8 * 8;
        const std::size_t length = (runsOffset + runs.size() + 1 + 7) / 8 * 8;
        Header(type, length, true, name, nameOffset, flags);
        Put(bytes_, at_ + 0x10, firstVcn, 8);
        Put(bytes_, at_ + 0x18, lastVcn, 8);
        Put(bytes_, at_ + 0x20, runsOffset, 2);
        Put(bytes_, at_ + 0x22, unitShift, 1);
        Put(bytes_, at_ + 0x28, (lastVcn + 1) * kCluster, 8);
        Put(bytes_, at_ + 0x30, dataSize, 8);
        Put(bytes_, at_ + 0x38, initializedSize, 8);
        Copy(runs, bytes_, at_ + runsOffset);
        at_ += length;
        return *this;
    }

    // Ends the attribute list and protects every 512-byte stride with the update sequence.
    std::vector<std::byte> Finish(std::uint16_t usn = 0x0007) {
        Put(bytes_, at_, 0xFFFFFFFF, 4);
        Put(bytes_, 0x18, at_ + 8, 4);
        const std::size_t strides = bytes_.size() / 512;
        Put(bytes_, 0x30, usn, 2);
        for (std::size_t i = 0; i < strides; ++i) {
            const std::size_t tail = (i + 1) * 512 - 2;
            bytes_[0x32 + 2 * i] = bytes_[tail];
            bytes_[0x33 + 2 * i] = bytes_[tail + 1];
            Put(bytes_, tail, usn, 2);
        }
        return bytes_;
    }

private:
    void Header(std::uint32_t type, std::size_t length, bool nonResident, const std::u16string& name,
                std::size_t nameOffset, std::uint16_t flags) {
        Put(bytes_, at_, type, 4);
        Put(bytes_, at_ + 4, length, 4);
        Put(bytes_, at_ + 8, nonResident ? 1 : 0, 1);
        Put(bytes_, at_ + 9, name.size(), 1);
        Put(bytes_, at_ + 0x0A, nameOffset, 2);
        Put(bytes_, at_ + 0x0C, flags, 2);
        Put(bytes_, at_ + 0x0E, nextId_++, 2);
        const auto text = Utf16(name);
        Copy(text, bytes_, at_ + nameOffset);
    }

    std::vector<std::byte> bytes_;
    std::size_t at_ = 0;
    std::uint16_t nextId_ = 0;
};

// A volume of 4 KiB clusters with 1 KiB records: boot sector, the MFT at cluster 4, data from
// cluster 64 on. Records 1..15 are left empty, 5 is the root.
class VolumeBuilder {
public:
    static constexpr std::uint32_t kRecords = 64;
    static constexpr std::uint64_t kClusters = 512;

    VolumeBuilder() : disk_(kClusters * kCluster) {
        std::memcpy(disk_.data() + 3, "NTFS    ", 8);
        Put(disk_, 0x0B, 512, 2);
        Put(disk_, 0x0D, 8, 1);
        Put(disk_, 0x28, kClusters * 8 - 1, 8);
        Put(disk_, 0x30, kMftCluster, 8);
        Put(disk_, 0x40, 0xF6, 1);  // 2^10-byte records
        const std::uint64_t mftClusters = kRecords * 1024 / kCluster;
        SetRecord(0, RecordBuilder(1024, true, 1)
                         .FileName(Ref(5, 5), u"$MFT")
                         .NonResident(0x80, u"", 0, mftClusters - 1,
                                      {std::byte{0x11}, static_cast<std::byte>(mftClusters),
                                       static_cast<std::byte>(kMftCluster), std::byte{0}},
                                      kRecords * 1024, kRecords * 1024)
                         .Finish());
        SetRecord(5, RecordBuilder(1024, true, 5).Folder().FileName(Ref(5, 5), u".", 0x10000000).Finish());
    }

    void SetRecord(std::uint32_t n, const std::vector<std::byte>& record) {
        Copy(record, disk_, kMftCluster * kCluster + n * 1024);
    }
    void SetCluster(std::uint64_t cluster, const std::vector<std::byte>& bytes) {
        Copy(bytes, disk_, cluster * kCluster);
    }
    std::vector<std::byte>& disk() { return disk_; }

    std::unique_ptr<CNtfsVolume> Open() const {
        PartitionInfo partition;
        partition.driveLetter = 'E';
        partition.SetFsName("NTFS");
        auto volume = std::make_unique<CNtfsVolume>(std::make_unique<MemorySource>(disk_), partition);
        return volume;
    }

private:
    std::vector<std::byte> disk_;
};

struct Scanned {
    std::unique_ptr<CNtfsVolume> volume;
    NtfsResultTree tree;
    bool ok = false;

    // "folder/folder/name" -> node, for every listed file.
    std::map<std::string, const NtfsFileNode*> Files() const {
        std::map<std::string, const NtfsFileNode*> files;
        Walk(volume->rootItem(), "", files);
        return files;
    }
    void Walk(NtfsResultTree::ItemId id, const std::string& path, std::map<std::string, const NtfsFileNode*>& out) const {
        for (std::uint32_t index : tree.item(id).data.nodes) out[path + volume->nodes()[index]->name] = volume->nodes()[index].get();
        for (NtfsResultTree::ItemId child : tree.item(id).children) Walk(child, path + tree.item(child).text + "/", out);
    }
};

Scanned Scan(const VolumeBuilder& builder, const FilterSettings& filter = FilterSettings{}) {
    Scanned s;
    s.volume = builder.Open();
    ProgressFields progress;
    StopToken stop;
    s.ok = s.volume->DeletedFileScan(s.tree, filter, progress, stop);
    return s;
}

std::vector<std::byte> ReadAll(const CNtfsVolume& volume, const NtfsFileNode& node, bool* whole = nullptr) {
    std::vector<std::byte> out;
    const auto copied = volume.WriteFileData(node, [&](std::span<const std::byte> b) -> Result<void> {
        out.insert(out.end(), b.begin(), b.end());
        return {};
    });
    if (whole != nullptr) *whole = copied.has_value();
    return out;
}

std::vector<std::byte> Pattern(std::size_t size, int seed) {
    std::vector<std::byte> out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::byte>((i * 7 + static_cast<std::size_t>(seed)) % 251);
    return out;
}

TEST(NtfsBootSector, GeometryFromTheSizeBytes) {
    std::vector<std::byte> boot(512);
    NtfsGeometry g;
    EXPECT_EQ(ParseNtfsBootSector(boot, g), kNtfsNotNtfs);
    std::memcpy(boot.data() + 3, "NTFS", 4);
    Put(boot, 0x0B, 512, 2);
    Put(boot, 0x0D, 8, 1);
    Put(boot, 0x40, 0xF6, 1);
    ASSERT_EQ(ParseNtfsBootSector(boot, g), kNtfsOk);
    EXPECT_EQ(g.clusterSize, 4096u);
    EXPECT_EQ(g.recordSize, 1024u);
    Put(boot, 0x40, 0xF4, 1);  // 4 KiB records, as on 4K-sector disks: no longer cut to 1 KiB
    ASSERT_EQ(ParseNtfsBootSector(boot, g), kNtfsOk);
    EXPECT_EQ(g.recordSize, 4096u);
    Put(boot, 0x0D, 1, 1);
    Put(boot, 0x40, 0x02, 1);  // positive: clusters per record
    ASSERT_EQ(ParseNtfsBootSector(boot, g), kNtfsOk);
    EXPECT_EQ(g.recordSize, 1024u);
    Put(boot, 0x40, 0x00, 1);  // no record size at all
    EXPECT_EQ(ParseNtfsBootSector(boot, g), kNtfsBadParameter);
    Put(boot, 0x40, 0xF6, 1);
    Put(boot, 0x0D, 0, 1);  // no cluster size
    EXPECT_EQ(ParseNtfsBootSector(boot, g), kNtfsBadParameter);
    Put(boot, 0x0D, 0xF4, 1);  // 2^12 sectors: 2 MiB clusters of large volumes
    ASSERT_EQ(ParseNtfsBootSector(boot, g), kNtfsOk);
    EXPECT_EQ(g.clusterSize, 2u << 20);
}

TEST(NtfsRecord, FixupsRestoreNamesAndDataAcrossTheStride) {
    // A resident value that runs over byte 510: its bytes there come back from the update sequence.
    std::vector<std::byte> value = Pattern(700, 3);
    const auto record = RecordBuilder().FileName(Ref(5, 5), u"x.txt").Resident(0x80, u"", value).Finish();
    ASSERT_NE(record[510], value[0]);  // the stored record really holds the sequence number there
    CMftRecord parsed;
    ASSERT_EQ(parsed.Parse(record), kNtfsOk);
    EXPECT_TRUE(parsed.fixupsApplied);
    ASSERT_EQ(parsed.data.size(), 1u);
    EXPECT_TRUE(std::equal(value.begin(), value.end(), parsed.data[0].value.begin()));

    // A torn record (second stride from another write) is parsed as it stands.
    auto torn = record;
    torn[1022] = std::byte{0x99};
    ASSERT_EQ(parsed.Parse(torn), kNtfsOk);
    EXPECT_FALSE(parsed.fixupsApplied);

    // A 4 KiB record has eight strides.
    const std::u16string longName(200, u'n');
    const auto big = RecordBuilder(4096).FileName(Ref(5, 5), longName).Resident(0x80, u"", Pattern(3000, 9)).Finish();
    ASSERT_EQ(parsed.Parse(big), kNtfsOk);
    EXPECT_TRUE(parsed.fixupsApplied);
    ASSERT_NE(parsed.ChosenName(), nullptr);
    EXPECT_EQ(parsed.ChosenName()->name, longName);
    EXPECT_EQ(parsed.data[0].value.size(), 3000u);
    EXPECT_TRUE(std::equal(parsed.data[0].value.begin(), parsed.data[0].value.end(), Pattern(3000, 9).begin()));

    EXPECT_EQ(parsed.Parse(std::vector<std::byte>(1024)), kNtfsBadParameter);
}

TEST(NtfsRecord, NameChoiceAndHostileAttributes) {
    CMftRecord parsed;
    // The long name wins in either order; a DOS name never wins over a long one, even a longer DOS name.
    for (const bool dosFirst : {true, false}) {
        RecordBuilder b;
        if (dosFirst) b.FileName(Ref(5, 5), u"REPORT~1.TXT", kFileFlagArchive, 2);
        b.FileName(Ref(5, 5), u"report march.txt");
        if (!dosFirst) b.FileName(Ref(5, 5), u"REPORT~1.TXT", kFileFlagArchive, 2);
        ASSERT_EQ(parsed.Parse(b.Finish()), kNtfsOk);
        EXPECT_EQ(parsed.ChosenName()->name, u"report march.txt");
    }
    ASSERT_EQ(parsed.Parse(RecordBuilder().FileName(Ref(5, 5), u"ab c").FileName(Ref(5, 5), u"ABC~1", 0x20, 2).Finish()),
              kNtfsOk);
    EXPECT_EQ(parsed.ChosenName()->name, u"ab c");

    // An attribute length pointing past the record, and one of 0, end the walk without reading beyond.
    auto record = RecordBuilder().FileName(Ref(5, 5), u"a.txt").Resident(0x80, u"", Pattern(10, 1)).Finish();
    auto bad = record;
    Put(bad, 0x38 + 4, 0x7FFFFFF0, 4);
    ASSERT_EQ(parsed.Parse(bad), kNtfsOk);
    EXPECT_TRUE(parsed.names.empty());
    Put(bad, 0x38 + 4, 0, 4);
    ASSERT_EQ(parsed.Parse(bad), kNtfsOk);
    EXPECT_TRUE(parsed.data.empty());
    // A name length beyond its value is skipped, not read past.
    bad = record;
    Put(bad, 0x38 + 0x18 + 0x40, 200, 1);
    ASSERT_EQ(parsed.Parse(bad), kNtfsOk);
    EXPECT_TRUE(parsed.names.empty());
    EXPECT_EQ(parsed.data.size(), 1u);
}

// A volume with one file of each kind, deleted, and the folders around them.
class NtfsVolumeTest : public ::testing::Test {
protected:
    static constexpr std::uint64_t kCreated = 133000000000000000ull;  // 2022-06-15

    void SetUp() override {
        // A deleted folder 30 inside a deleted folder 31 inside the root; a live folder 32.
        b.SetRecord(31, RecordBuilder(1024, false, 3).Folder().FileName(Ref(5, 5), u"Outer", 0x10000000).Finish());
        b.SetRecord(30, RecordBuilder(1024, false, 3).Folder().FileName(Ref(31, 2), u"Inner", 0x10000000).Finish());
        b.SetRecord(32, RecordBuilder(1024, true, 7).Folder().FileName(Ref(5, 5), u"Live", 0x10000000).Finish());
    }

    void File(std::uint32_t n, std::uint64_t parent, const std::u16string& name, const std::vector<std::byte>& data,
              bool inUse = false) {
        b.SetRecord(n, RecordBuilder(1024, inUse)
                           .StandardInformation(kCreated, kFileFlagArchive)
                           .FileName(parent, name)
                           .Resident(0x80, u"", data)
                           .Finish());
    }

    VolumeBuilder b;
};

TEST_F(NtfsVolumeTest, FolderChainsFromParentReferences) {
    File(16, Ref(5, 5), u"first user record.txt", Pattern(10, 1));   // below 24: still a user file
    File(20, Ref(30, 2), u"in inner.txt", Pattern(20, 2));           // deleted chain Outer/Inner
    File(21, Ref(30, 2), u"also inner.txt", Pattern(30, 3));
    File(22, Ref(32, 7), u"in live.txt", Pattern(40, 4));            // live folder, same generation
    File(23, Ref(32, 5), u"reused parent.txt", Pattern(50, 5));     // record 32 is another folder now
    File(24, Ref(33, 1), u"parent is a file.txt", Pattern(60, 6));
    File(25, Ref(33, 1), u"sibling.txt", Pattern(70, 7));
    File(26, Ref(9000, 1), u"parent beyond.txt", Pattern(80, 8));
    File(27, Ref(5, 5), u"live.txt", Pattern(90, 9), true);            // in use: never listed
    b.SetRecord(33, RecordBuilder(1024, false).FileName(Ref(5, 5), u"plain.bin").Finish());

    const Scanned s = Scan(b);
    ASSERT_TRUE(s.ok);
    const auto files = s.Files();
    std::vector<std::string> paths;
    for (const auto& [path, node] : files) paths.push_back(path);
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "Live/in live.txt",
                         "Lost Files0/Dir0/reused parent.txt",
                         "Lost Files0/Dir1/parent is a file.txt",
                         "Lost Files0/Dir1/sibling.txt",
                         "Lost Files0/Dir2/parent beyond.txt",
                         "Outer/Inner/also inner.txt",
                         "Outer/Inner/in inner.txt",
                         "first user record.txt",
                         "plain.bin",
                     }));
    // Two files of one deleted folder share its item (same text and record number).
    const auto& root = s.tree.item(s.volume->rootItem());
    EXPECT_EQ(root.data.recordNumber, 5u);
    EXPECT_EQ(root.text, "NTFS - Logical Disk (E:)");
    const NtfsFileNode* inner = files.at("Outer/Inner/in inner.txt");
    EXPECT_EQ(inner->pathNames, (std::vector<std::string>{"Inner", "Outer"}));
    EXPECT_EQ(inner->pathRecords, (std::vector<std::uint32_t>{30, 31}));
    EXPECT_EQ(files.at("Lost Files0/Dir1/sibling.txt")->pathRecords, (std::vector<std::uint32_t>{33, 1}));
    EXPECT_TRUE(inner->deleted);
    EXPECT_EQ(inner->size, 20u);
    EXPECT_EQ(inner->creationTime, kCreated);
    EXPECT_EQ(ReadAll(*s.volume, *inner), Pattern(20, 2));
}

TEST_F(NtfsVolumeTest, ParentLoopsEndAsLostFiles) {
    b.SetRecord(40, RecordBuilder(1024, false, 2).Folder().FileName(Ref(41, 2), u"A", 0x10000000).Finish());
    b.SetRecord(41, RecordBuilder(1024, false, 2).Folder().FileName(Ref(40, 2), u"B", 0x10000000).Finish());
    File(42, Ref(40, 1), u"looped.txt", Pattern(5, 5));
    const Scanned s = Scan(b);
    const auto files = s.Files();
    ASSERT_EQ(files.size(), 1u);
    const NtfsFileNode* node = files.begin()->second;
    EXPECT_EQ(node->pathNames, (std::vector<std::string>{"A", "B", "Dir0", "Lost Files0"}));
}

TEST_F(NtfsVolumeTest, FilterUsesTheLastExtensionInAnyCase) {
    File(20, Ref(5, 5), u"IMG_0001.JPG", Pattern(20, 1));
    File(21, Ref(5, 5), u"archive.jpg.bak", Pattern(20, 1));
    File(22, Ref(5, 5), u"photo.jpeg.jpg", Pattern(20, 1));
    File(23, Ref(5, 5), u"noextension", Pattern(20, 1));
    FilterSettings filter;
    filter.category = 3;
    filter.extensionList = FilterCategoryList(3);
    const Scanned s = Scan(b, filter);
    std::vector<std::string> names;
    for (const auto& [path, node] : s.Files()) names.push_back(path);
    EXPECT_EQ(names, (std::vector<std::string>{"IMG_0001.JPG", "photo.jpeg.jpg"}));
}


std::vector<std::byte> Runs(std::initializer_list<int> values) {
    std::vector<std::byte> out;
    for (int v : values) out.push_back(static_cast<std::byte>(v));
    return out;
}

TEST_F(NtfsVolumeTest, SparseRunsReadAsZerosAndReadingGoesOn) {
    // 2 clusters at 100, a hole of 3, 1 cluster at 101 + 50: the fourth run lies after the hole.
    const auto a = Pattern(2 * kCluster, 1);
    const auto c = Pattern(kCluster, 2);
    b.SetCluster(100, a);
    b.SetCluster(150, c);
    const std::uint64_t size = 5 * kCluster + 1000;
    b.SetRecord(20, RecordBuilder()
                        .FileName(Ref(5, 5), u"holes.bin")
                        .NonResident(0x80, u"", 0, 5, Runs({0x11, 2, 100, 0x01, 3, 0x11, 1, 50, 0x00}), size, size,
                                     kDataSparse)
                        .Finish());
    const Scanned s = Scan(b);
    const NtfsFileNode* node = s.Files().at("holes.bin");
    bool whole = false;
    const auto data = ReadAll(*s.volume, *node, &whole);
    EXPECT_TRUE(whole);
    ASSERT_EQ(data.size(), size);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), data.begin()));
    EXPECT_TRUE(std::all_of(data.begin() + 2 * kCluster, data.begin() + 5 * kCluster, [](std::byte x) { return x == std::byte{0}; }));
    EXPECT_TRUE(std::equal(c.begin(), c.begin() + 1000, data.begin() + 5 * kCluster));
}

TEST_F(NtfsVolumeTest, BytesPastTheInitializedSizeAreZeros) {
    b.SetCluster(120, Pattern(2 * kCluster, 4));  // old contents of the preallocated clusters
    b.SetRecord(20, RecordBuilder()
                        .FileName(Ref(5, 5), u"prealloc.db")
                        .NonResident(0x80, u"", 0, 1, Runs({0x11, 2, 120, 0x00}), 2 * kCluster, 5000)
                        .Finish());
    const Scanned s = Scan(b);
    const auto data = ReadAll(*s.volume, *s.Files().at("prealloc.db"));
    ASSERT_EQ(data.size(), 2 * kCluster);
    const auto old = Pattern(2 * kCluster, 4);
    EXPECT_TRUE(std::equal(old.begin(), old.begin() + 5000, data.begin()));
    EXPECT_TRUE(std::all_of(data.begin() + 5000, data.end(), [](std::byte x) { return x == std::byte{0}; }));
}

TEST_F(NtfsVolumeTest, CompressedUnitsAreDecompressedStoredOrZero) {
    // Three 16-cluster units: LZNT1 in 2 clusters + 14 holes; stored raw in 16 clusters; all hole.
    std::vector<std::byte> text;
    for (int i = 0; i < 6000; ++i) {
        const std::string line = "row " + std::to_string(i % 50) + " of the ledger\n";
        text.insert(text.end(), reinterpret_cast<const std::byte*>(line.data()),
                    reinterpret_cast<const std::byte*>(line.data()) + line.size());
    }
    text.resize(16 * kCluster);
    auto packed = Lznt1Compress(text);
    ASSERT_LE(packed.size(), 2 * kCluster);
    packed.resize(2 * kCluster);
    b.SetCluster(200, packed);
    const auto raw = Pattern(16 * kCluster, 6);
    b.SetCluster(300, raw);
    const std::uint64_t size = 2 * 16 * kCluster + 3000;
    b.SetRecord(20, RecordBuilder()
                        .StandardInformation(kCreated, kFileFlagArchive | kNtfsAttrCompressed)
                        .FileName(Ref(5, 5), u"ledger.txt")
                        .NonResident(0x80, u"", 0, 47,
                                     Runs({0x21, 2, 200, 0, 0x01, 14, 0x21, 16, 100, 0, 0x01, 16, 0x00}), size, size,
                                     kDataCompressed, 4)
                        .Finish());
    const Scanned s = Scan(b);
    const NtfsFileNode* node = s.Files().at("ledger.txt");
    EXPECT_NE(node->attributes & kNtfsAttrCompressed, 0u);
    bool whole = false;
    const auto data = ReadAll(*s.volume, *node, &whole);
    EXPECT_TRUE(whole);
    ASSERT_EQ(data.size(), size);
    EXPECT_TRUE(std::equal(text.begin(), text.end(), data.begin()));
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), data.begin() + 16 * kCluster));
    EXPECT_TRUE(std::all_of(data.begin() + 32 * kCluster, data.end(), [](std::byte x) { return x == std::byte{0}; }));

    // The preview reads the same bytes, capped.
    const auto preview = s.volume->ReadFileData(*node, 100);
    ASSERT_TRUE(preview.has_value());
    EXPECT_TRUE(std::equal(preview->begin(), preview->end(), text.begin()));
    EXPECT_EQ(preview->size(), 100u);
}

TEST_F(NtfsVolumeTest, NamedStreamsAreFilesOfTheirOwn) {
    b.SetRecord(20, RecordBuilder()
                        .FileName(Ref(5, 5), u"setup.exe")
                        .Resident(0x80, u"", Pattern(300, 1))
                        .Resident(0x80, u"Zone.Identifier", Bytes("[ZoneTransfer]\r\nZoneId=3\r\n"))
                        .Finish());
    const Scanned s = Scan(b);
    const auto files = s.Files();
    ASSERT_EQ(files.size(), 2u);
    const NtfsFileNode* file = files.at("setup.exe");
    const NtfsFileNode* zone = files.at("setup.exe:Zone.Identifier");
    EXPECT_EQ(file->size, 300u);
    EXPECT_EQ(ReadAll(*s.volume, *file), Pattern(300, 1));
    EXPECT_EQ(zone->streamName, "Zone.Identifier");
    EXPECT_EQ(ReadAll(*s.volume, *zone), Bytes("[ZoneTransfer]\r\nZoneId=3\r\n"));
}

TEST_F(NtfsVolumeTest, AttributeListExtentsAreFollowedWhenTheyStillBelongToTheFile) {
    // The base record 20 lists its $DATA in two extents: VCN 0-1 in record 21, VCN 2-3 in record 22.
    auto listEntry = [](std::uint64_t vcn, std::uint64_t record) {
        std::vector<std::byte> e(0x20);
        Put(e, 0, 0x80, 4);
        Put(e, 4, 0x20, 2);
        Put(e, 7, 0x1A, 1);
        Put(e, 8, vcn, 8);
        Put(e, 0x10, Ref(record, 2), 8);
        return e;
    };
    std::vector<std::byte> list = listEntry(0, 21);
    const auto second = listEntry(2, 22);
    list.insert(list.end(), second.begin(), second.end());
    const std::uint64_t size = 4 * kCluster;
    b.SetCluster(130, Pattern(2 * kCluster, 1));
    b.SetCluster(140, Pattern(2 * kCluster, 2));
    b.SetRecord(20, RecordBuilder(1024, false, 2).FileName(Ref(5, 5), u"big.iso").Resident(0x20, u"", list).Finish());
    b.SetRecord(21, RecordBuilder(1024, false, 2, Ref(20, 2))
                        .NonResident(0x80, u"", 0, 1, Runs({0x21, 2, 130, 0, 0x00}), size, size)
                        .Finish());
    auto extension = [&](std::uint64_t base) {
        return RecordBuilder(1024, false, 2, Ref(base, 2))
            .NonResident(0x80, u"", 2, 3, Runs({0x21, 2, 140, 0, 0x00}), 0, 0)
            .Finish();
    };
    b.SetRecord(22, extension(20));
    {
        const Scanned s = Scan(b);
        const NtfsFileNode* node = s.Files().at("big.iso");
        EXPECT_EQ(node->size, size);
        bool whole = false;
        const auto data = ReadAll(*s.volume, *node, &whole);
        EXPECT_TRUE(whole);
        auto expected = Pattern(2 * kCluster, 1);
        const auto tail = Pattern(2 * kCluster, 2);
        expected.insert(expected.end(), tail.begin(), tail.end());
        EXPECT_EQ(data, expected);
    }
    // Record 22 now belongs to another file: its extent is not taken, what the rest maps is, and the
    // read says it is not the whole file.
    b.SetRecord(22, extension(45));
    const Scanned s = Scan(b);
    bool whole = true;
    const auto data = ReadAll(*s.volume, *s.Files().at("big.iso"), &whole);
    EXPECT_FALSE(whole);
    EXPECT_EQ(data, Pattern(2 * kCluster, 1));
}

TEST_F(NtfsVolumeTest, SizesAreSixtyFourBitAndClaimsAreBounded) {
    // 5 GiB, nearly all hole: listed whole, and the read streams zeros without holding them.
    const std::uint64_t five = std::uint64_t{5} << 30;
    const std::uint64_t clusters = five / kCluster;
    b.SetRecord(20, RecordBuilder()
                        .FileName(Ref(5, 5), u"disk.vhd")
                        .NonResident(0x80, u"", 0, clusters - 1,
                                     Runs({0x11, 1, 110, 0x03, static_cast<int>((clusters - 1) & 0xFF),
                                           static_cast<int>(((clusters - 1) >> 8) & 0xFF),
                                           static_cast<int>((clusters - 1) >> 16), 0x00}),
                                     five, five, kDataSparse)
                        .Finish());
    // Claims terabytes with one cluster mapped; and a run outside the volume.
    b.SetRecord(21, RecordBuilder()
                        .FileName(Ref(5, 5), u"liar.bin")
                        .NonResident(0x80, u"", 0, 0, Runs({0x11, 1, 110, 0x00}), std::uint64_t{1} << 44,
                                     std::uint64_t{1} << 44)
                        .Finish());
    b.SetRecord(22, RecordBuilder()
                        .FileName(Ref(5, 5), u"outside.bin")
                        .NonResident(0x80, u"", 0, 1, Runs({0x31, 2, 0x00, 0x00, 0x10, 0x00}), 2 * kCluster, 2 * kCluster)
                        .Finish());
    const Scanned s = Scan(b);
    const auto files = s.Files();
    EXPECT_EQ(files.at("disk.vhd")->size, five);
    EXPECT_EQ(NtfsSizeText(five), "5.0GB");
    std::uint64_t total = 0;
    const auto copied = s.volume->WriteFileData(*files.at("disk.vhd"), [&](std::span<const std::byte> block) -> Result<void> {
        total += block.size();
        return {};
    });
    EXPECT_TRUE(copied.has_value());
    EXPECT_EQ(total, five);

    bool whole = true;
    EXPECT_EQ(ReadAll(*s.volume, *files.at("liar.bin"), &whole).size(), kCluster);
    EXPECT_FALSE(whole);
    EXPECT_TRUE(ReadAll(*s.volume, *files.at("outside.bin"), &whole).empty());
    EXPECT_FALSE(whole);
}

TEST_F(NtfsVolumeTest, SelectionKeepsTreeOrderWithoutDuplicates) {
    File(20, Ref(30, 2), u"b.txt", Pattern(1, 1));
    File(21, Ref(5, 5), u"a.txt", Pattern(1, 1));
    File(22, Ref(30, 2), u"c.txt", Pattern(1, 1));
    Scanned s = Scan(b);
    for (auto& node : s.volume->nodes()) node->selected = node->name != "c.txt";
    s.volume->BuildSelection(s.tree, s.volume->rootItem());
    s.volume->BuildSelection(s.tree, s.volume->rootItem());
    std::vector<std::string> names;
    for (const NtfsFileNode* node : s.volume->selection()) names.push_back(node->name);
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(NtfsVolume, VolumesThatCannotBeScanned) {
    VolumeBuilder b;
    auto wrongName = b;
    wrongName.SetRecord(0, RecordBuilder(1024, true).FileName(Ref(5, 5), u"$MFX").Finish());
    auto volume = wrongName.Open();
    ASSERT_EQ(volume->ReadBootSector(), kNtfsOk);
    EXPECT_EQ(volume->LoadMft(), kNtfsMftNotFound);

    auto notNtfs = b;
    notNtfs.disk()[3] = std::byte{'X'};
    volume = notNtfs.Open();
    EXPECT_EQ(volume->ReadBootSector(), kNtfsNotNtfs);
    NtfsResultTree tree;
    ProgressFields progress;
    StopToken stop;
    EXPECT_FALSE(volume->DeletedFileScan(tree, FilterSettings{}, progress, stop));
    EXPECT_TRUE(tree.item(volume->rootItem()).children.empty());

    // An MFT that claims more than the volume holds.
    auto huge = b;
    huge.SetRecord(0, RecordBuilder(1024, true)
                          .FileName(Ref(5, 5), u"$MFT")
                          .NonResident(0x80, u"", 0, 0xFFFFFF, Runs({0x11, 16, 4, 0}), std::uint64_t{1} << 40,
                                       std::uint64_t{1} << 40)
                          .Finish());
    volume = huge.Open();
    ASSERT_EQ(volume->ReadBootSector(), kNtfsOk);
    EXPECT_EQ(volume->LoadMft(), kNtfsBadParameter);
}

// The formatted-drive scan on byte-built volumes: the record walk of the current MFT (cluster 4..19),
// and records left outside it the way an earlier format's MFT leaves them.
Scanned ScanFormatted(const VolumeBuilder& builder, bool stopAtOnce = false) {
    Scanned s;
    s.volume = builder.Open();
    ProgressFields progress;
    StopToken stop;
    if (stopAtOnce) stop.RequestStop();
    s.ok = s.volume->FormattedDriveScan(s.tree, FilterSettings{}, progress, stop);
    return s;
}

std::set<std::string> Names(const Scanned& s) {
    std::set<std::string> names;
    for (const auto& [path, node] : s.Files()) names.insert(path);
    return names;
}

TEST(NtfsFormattedScan, RecordWalkListsLiveAndDeletedFilesButNoSystemFile) {
    VolumeBuilder b;
    const std::uint32_t folder = 0x10000000;
    b.SetRecord(11, RecordBuilder(1024, true, 11).Folder().FileName(Ref(5, 5), u"$Extend", folder).Finish());
    b.SetRecord(20, RecordBuilder(1024, true, 1).FileName(Ref(5, 5), u"reserved.txt").Finish());
    b.SetRecord(24, RecordBuilder(1024, true, 1).FileName(Ref(5, 5), u"early.txt").Resident(0x80, u"", Bytes("early")).Finish());
    b.SetRecord(25, RecordBuilder(1024, true, 1).FileName(Ref(11, 11), u"$Quota").Finish());
    b.SetRecord(26, RecordBuilder(1024, true, 1).Folder().FileName(Ref(11, 11), u"$RmMetadata", folder).Finish());
    b.SetRecord(27, RecordBuilder(1024, true, 1).FileName(Ref(26, 1), u"$TxfLog.blf").Finish());
    b.SetRecord(28, RecordBuilder(1024, true, 1).FileName(Ref(5, 5), u"$Secure2").Finish());
    b.SetRecord(30, RecordBuilder(1024, true, 2).Folder().FileName(Ref(5, 5), u"Docs", folder).Finish());
    b.SetRecord(31, RecordBuilder(1024, true, 2).FileName(Ref(30, 2), u"a.txt").Resident(0x80, u"", Bytes("live")).Finish());
    b.SetRecord(32, RecordBuilder(1024, false, 3).FileName(Ref(30, 2), u"gone.txt").Finish());
    const Scanned s = ScanFormatted(b);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(Names(s), (std::set<std::string>{"early.txt", "Docs/a.txt", "Docs/gone.txt"}));
    const auto files = s.Files();
    EXPECT_FALSE(files.at("Docs/a.txt")->deleted);
    EXPECT_TRUE(files.at("Docs/gone.txt")->deleted);
    EXPECT_EQ(ReadAll(*s.volume, *files.at("early.txt")), Bytes("early"));
    // The MFT's own records are counted once, not searched: nothing outside it, no folder for it.
    EXPECT_EQ(s.volume->RecordsCounted(), VolumeBuilder::kRecords);
    EXPECT_EQ(s.volume->FoundRecordCount(), 0u);
}

TEST(NtfsFormattedScan, RecordsOutsideTheMftBecomeNodesReadThroughTheirOwnRuns) {
    VolumeBuilder b;
    const std::uint32_t folder = 0x10000000;
    const std::size_t old = 100 * kCluster;  // where the records of an earlier MFT survived
    const auto put = [&](std::size_t offset, const std::vector<std::byte>& record) { Copy(record, b.disk(), offset); };
    put(old, RecordBuilder(1024, true, 1).Number(70).Folder().FileName(Ref(5, 5), u"Photos", folder).Finish());
    const auto note = RecordBuilder(1024, true, 1).Number(71).FileName(Ref(70, 1), u"note.txt")
                          .Resident(0x80, u"", Bytes("old note")).Finish();
    put(old + 1024, note);
    // A volume with 512-byte clusters puts records on any sector.
    put(old + 2 * 1024 + 512, RecordBuilder(1024, true, 1).Number(72).FileName(Ref(70, 1), u"pic.bmp")
                                  .NonResident(0x80, u"", 0, 1, Runs({0x21, 2, 0x2C, 0x01, 0}), 5000, 5000)
                                  .Finish());
    put(old + 8 * 1024, note);  // a second copy of the same record
    put(old + 10 * 1024, RecordBuilder(1024, false, 2).Number(73).FileName(Ref(90, 1), u"orphan.txt")
                             .Resident(0x80, u"", Bytes("orphan")).Finish());
    // A base record whose data lies in an extension record; the extension straddles two reads of the
    // search (they run from the end of the MFT in 1 MiB steps).
    std::vector<std::byte> list(0x20);
    Put(list, 0, 0x80, 4);
    Put(list, 4, 0x20, 2);
    Put(list, 7, 0x1A, 1);
    Put(list, 0x10, Ref(75, 1), 8);
    put(old + 12 * 1024, RecordBuilder(1024, true, 1).Number(74).FileName(Ref(70, 1), u"list.bin")
                             .Resident(0x20, u"", list).Finish());
    put(20 * kCluster + (1u << 20) - 512, RecordBuilder(1024, true, 1, Ref(74, 1)).Number(75)
                                                .NonResident(0x80, u"", 0, 1, Runs({0x21, 2, 0x36, 0x01, 0}),
                                                             2 * kCluster, 2 * kCluster)
                                                .Finish());
    // "FILE" with sizes no record has is not a record.
    put(old + 14 * 1024, Bytes("FILE0\x00\x03\x00garbage"));
    b.SetCluster(300, Pattern(5000, 3));
    b.SetCluster(310, Pattern(2 * kCluster, 4));

    const Scanned s = ScanFormatted(b);
    ASSERT_TRUE(s.ok);
    const std::string top = std::string(CNtfsVolume::kFoundRecordsFolder) + "/";
    EXPECT_EQ(Names(s), (std::set<std::string>{top + "Photos/note.txt", top + "Photos/pic.bmp", top + "Photos/list.bin",
                                               top + "Lost Files1/Dir0/orphan.txt"}));
    const auto files = s.Files();
    EXPECT_EQ(files.at(top + "Photos/note.txt")->imageIndex, CNtfsVolume::kFoundRecordsImage);
    EXPECT_EQ(files.at(top + "Photos/note.txt")->recordNumber, 71u);
    EXPECT_TRUE(files.at(top + "Lost Files1/Dir0/orphan.txt")->deleted);
    EXPECT_EQ(ReadAll(*s.volume, *files.at(top + "Photos/note.txt")), Bytes("old note"));
    EXPECT_EQ(ReadAll(*s.volume, *files.at(top + "Photos/pic.bmp")), Pattern(5000, 3));
    EXPECT_EQ(files.at(top + "Photos/list.bin")->size, 2 * kCluster);
    EXPECT_EQ(ReadAll(*s.volume, *files.at(top + "Photos/list.bin")), Pattern(2 * kCluster, 4));
    EXPECT_EQ(s.volume->FoundRecordCount(), 6u);
    EXPECT_EQ(s.volume->RecordsCounted(), VolumeBuilder::kRecords + 7);

    // A stop before the start lists nothing and still ends.
    const Scanned stopped = ScanFormatted(b, true);
    EXPECT_TRUE(Names(stopped).empty());
}

TEST(NtfsFormattedScan, WithoutAnNtfsBootSectorOnlyTheSearchRuns) {
    VolumeBuilder b;
    b.SetRecord(30, RecordBuilder(1024, true, 1).Number(30).FileName(Ref(5, 5), u"kept.txt")
                        .Resident(0x80, u"", Bytes("kept")).Finish());
    std::fill(b.disk().begin() + 3, b.disk().begin() + 11, std::byte{0});
    const Scanned s = ScanFormatted(b);
    ASSERT_TRUE(s.ok);
    const std::string path = std::string(CNtfsVolume::kFoundRecordsFolder) + "/kept.txt";
    EXPECT_EQ(Names(s), std::set<std::string>{path});
    EXPECT_EQ(ReadAll(*s.volume, *s.Files().at(path)), Bytes("kept"));
    EXPECT_EQ(s.volume->RecordsCounted(), 3u);  // $MFT, the root and kept.txt
    EXPECT_EQ(s.volume->FoundClusterSize(), kCluster);
}

TEST(NtfsRowText, SizesAttributesAndTimes) {
    EXPECT_EQ(NtfsSizeText(1023), "1023B");
    EXPECT_EQ(NtfsSizeText(1536), "1.5KB");
    EXPECT_EQ(NtfsSizeText(std::uint64_t{3} << 20), "3.0MB");
    EXPECT_EQ(NtfsAttributeText(0x21, false), "R-A-");
    EXPECT_EQ(NtfsAttributeText(0x10000800 | 0x20000000, true), "C-Dir-In-Del-");
    EXPECT_EQ(NtfsTimeText(0), "");
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(NtfsTimeText(116444736000000000ull + 86400ull * 10000000ull), "1970-01-02 00:00:00");
}

}  // namespace
}  // namespace lumacore
