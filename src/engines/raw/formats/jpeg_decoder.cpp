// JPEG entropy decoding for carving: enough of a decoder to tell whether bytes are a picture's data
// (every Huffman symbol, coefficient position and category, restart marker and padding bit checked),
// and the search for the second piece of a picture written in two.
//
// The search: the data decodes up to a point and then breaks. The first piece ends on a block
// boundary at or before that point; the second starts on a later block boundary. For each pair the
// decoder is taken up again at the last MCU before the first piece's end, reads on from the second
// piece's start, and must decode every remaining MCU, restart marker and scan to the end-of-image
// marker. Exactly one pair that does so is a sure answer; none, or more than one, is not.
#include "engines/raw/formats/jpeg_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace lumacore::formats {

namespace {

constexpr int kMaxComponents = 4;
// Progressive pictures need to know which coefficients earlier passes made non-zero: one 64-bit mask
// a block. 2^20 blocks is a 45-megapixel 4:2:0 picture (8 MiB of masks); larger ones are not searched.
constexpr std::uint64_t kMaxProgressiveBlocks = std::uint64_t{1} << 20;
// Real files have a few dozen segments; progressive ones add one SOS and DHT per pass.
constexpr int kMaxSegments = 20000;
// Fill bytes (FF) allowed before a marker.
constexpr int kMaxFill = 64;
// Which coefficients became non-zero, in order, so that a trial can be undone: at most this many.
constexpr std::size_t kMaxUndoEntries = std::size_t{8} << 20;
// The most bytes between the MCU a trial starts from and the first piece's end (an MCU of six
// blocks at the highest quality is far smaller).
constexpr std::uint64_t kMaxHead = std::uint64_t{64} << 10;
// States remembered from earlier trials, to end later trials that join their path.
constexpr std::size_t kMaxMemo = std::size_t{1} << 20;
constexpr std::uint64_t kMemoStride = 256;
// More ways to join than this and the search stops: the picture cannot be told from its surroundings.
constexpr std::size_t kMaxJoins = 8;

// Codes up to this long are decoded with one table look-up.
constexpr unsigned kFastBits = 9;

struct HuffTable {
    bool defined = false;
    // By the next kFastBits bits: the code's length << 8 | its value, or 0 for a longer code.
    std::array<std::uint16_t, 1u << kFastBits> fast{};
    std::array<std::int32_t, 17> maxcode{};  // -1: no code of this length
    std::array<std::int32_t, 17> valptr{};
    std::array<std::int32_t, 17> mincode{};
    std::array<std::uint8_t, 256> values{};
};

struct Component {
    std::uint8_t id = 0;
    int h = 1;
    int v = 1;
    std::uint64_t blocksWide = 0;  // blocks holding picture data (what a one-component scan codes)
    std::uint64_t blocksHigh = 0;
    std::uint64_t gridWide = 0;  // blocks per row of the grid padded to whole MCUs
    std::uint64_t maskBase = 0;
};

struct ScanHeader {
    int count = 0;
    std::array<int, kMaxComponents> component{};
    std::array<int, kMaxComponents> dcTable{};
    std::array<int, kMaxComponents> acTable{};
    int ss = 0;
    int se = 63;
    int ah = 0;
    int al = 0;
    std::uint64_t mcus = 0;
    int index = 0;  // which scan of the file
};

// What the segments before a scan set: frame, tables, restart interval and the scan's own header.
struct Setup {
    bool sawFrame = false;
    bool progressive = false;
    int dcMaxCategory = 11;
    int acMaxCategory = 10;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    int componentCount = 0;
    std::array<Component, kMaxComponents> components{};
    int hmax = 1;
    int vmax = 1;
    std::uint64_t mcusWide = 0;
    std::uint64_t mcusHigh = 0;
    std::uint64_t blocks = 0;
    std::array<HuffTable, 4> dc{};
    std::array<HuffTable, 4> ac{};
    std::uint32_t restartInterval = 0;
    ScanHeader scan{};
    int scans = 0;
    // Per component, the coefficients some scan has brought to full precision: a picture is whole
    // only when they are all there (a progressive file cut after its first passes is not).
    std::array<std::uint64_t, kMaxComponents> complete{};
};

struct BitState {
    std::uint64_t next = 0;  // the next byte to load
    std::uint8_t current = 0;
    std::uint8_t left = 0;  // bits of `current` not used yet
};

// Where decoding can be taken up again: the start of an MCU, or a marker between scans.
struct Checkpoint {
    bool inScan = true;
    BitState bits;
    std::uint64_t mcu = 0;
    std::uint32_t eobRun = 0;
    std::uint64_t undo = 0;  // how many entries of the undo log were applied then
    std::size_t setup = 0;   // which kept setup
};

// The bytes decoding reads: the input as it lies, or the first piece joined to the second.
class JoinedBytes {
  public:
    explicit JoinedBytes(CarveInput& in) : in_(in) {}

    void Join(std::uint64_t firstEnd, std::uint64_t resumeAt, const std::vector<std::uint8_t>* head,
              std::uint64_t headStart) {
        joined_ = true;
        firstEnd_ = firstEnd;
        resumeAt_ = resumeAt;
        head_ = head;
        headStart_ = headStart;
    }
    void SetBudget(std::uint64_t budget) {
        budget_ = budget;
        used_ = 0;
    }
    bool exhausted() const { return used_ > budget_; }

    // The byte at a logical position, or nothing past the input or the budget.
    std::optional<std::uint8_t> At(std::uint64_t pos) {
        if (++used_ > budget_) return std::nullopt;
        if (!joined_ || pos < firstEnd_) {
            if (head_ != nullptr && pos >= headStart_ && pos - headStart_ < head_->size())
                return (*head_)[static_cast<std::size_t>(pos - headStart_)];
        } else {
            pos = resumeAt_ + (pos - firstEnd_);
        }
        // Bytes come from a copy of a stretch of the input kept here, so that most reads are one
        // comparison (the input's own window moves when others read it).
        if (pos < cacheStart_ || pos - cacheStart_ >= cacheLength_) {
            const auto window = in_.Window(pos, kCacheBytes);
            if (window.empty()) return std::nullopt;
            std::memcpy(cache_.data(), window.data(), window.size());
            cacheStart_ = pos;
            cacheLength_ = window.size();
        }
        return cache_[static_cast<std::size_t>(pos - cacheStart_)];
    }
    std::uint64_t Physical(std::uint64_t pos) const {
        return joined_ && pos >= firstEnd_ ? resumeAt_ + (pos - firstEnd_) : pos;
    }
    // The bytes from a logical position on that lie together here (in the copy of the first piece's
    // end, or in one stretch of the input); empty past the input. Not counted against the budget
    // until charged.
    std::span<const std::uint8_t> Stretch(std::uint64_t pos) {
        std::uint64_t room = UINT64_MAX;
        if (!joined_ || pos < firstEnd_) {
            if (joined_) room = firstEnd_ - pos;
            if (head_ != nullptr && pos >= headStart_ && pos - headStart_ < head_->size()) {
                const auto offset = static_cast<std::size_t>(pos - headStart_);
                return std::span<const std::uint8_t>(*head_).subspan(
                    offset, static_cast<std::size_t>(std::min<std::uint64_t>(head_->size() - offset, room)));
            }
        } else {
            pos = resumeAt_ + (pos - firstEnd_);
        }
        if (pos < cacheStart_ || pos - cacheStart_ >= cacheLength_) {
            const auto window = in_.Window(pos, kCacheBytes);
            if (window.empty()) return {};
            std::memcpy(cache_.data(), window.data(), window.size());
            cacheStart_ = pos;
            cacheLength_ = window.size();
        }
        const auto offset = static_cast<std::size_t>(pos - cacheStart_);
        return std::span<const std::uint8_t>(cache_.data() + offset,
                                             static_cast<std::size_t>(std::min<std::uint64_t>(cacheLength_ - offset, room)));
    }
    bool Charge(std::uint64_t n) {
        used_ += n;
        return used_ <= budget_;
    }
    bool InSecond(std::uint64_t pos) const { return joined_ && pos >= firstEnd_; }

  private:
    static constexpr std::size_t kCacheBytes = 4096;

    CarveInput& in_;
    std::array<std::uint8_t, kCacheBytes> cache_{};
    std::uint64_t cacheStart_ = 0;
    std::size_t cacheLength_ = 0;
    bool joined_ = false;
    std::uint64_t firstEnd_ = 0;
    std::uint64_t resumeAt_ = 0;
    const std::vector<std::uint8_t>* head_ = nullptr;
    std::uint64_t headStart_ = 0;
    std::uint64_t budget_ = UINT64_MAX;
    std::uint64_t used_ = 0;
};

// Which coefficients of a progressive picture are non-zero, with an undo log: the first decode's
// changes in order (so that the state at any checkpoint can be rebuilt), and a trial's own.
class NonZeroMask {
  public:
    bool Allocate(std::uint64_t blocks) {
        if (blocks > kMaxProgressiveBlocks) return false;
        mask_.assign(static_cast<std::size_t>(blocks), 0);
        return true;
    }
    bool allocated() const { return !mask_.empty(); }
    bool Test(std::uint64_t block, int k) const {
        return (mask_[static_cast<std::size_t>(block)] >> k & 1) != 0;
    }
    void Set(std::uint64_t block, int k) {
        std::uint64_t& word = mask_[static_cast<std::size_t>(block)];
        const std::uint64_t bit = std::uint64_t{1} << k;
        if ((word & bit) != 0) return;
        word |= bit;
        if (!logging_) return;
        auto& log = trial_ ? trialLog_ : log_;
        if (log.size() >= kMaxUndoEntries) {
            overflowed_ = true;
            return;
        }
        log.push_back(static_cast<std::uint32_t>(block * 64 + static_cast<std::uint64_t>(k)));
        if (!trial_) applied_ = log_.size();
    }
    bool overflowed() const { return overflowed_; }
    std::uint64_t applied() const { return applied_; }

    // From now on changes belong to trials and are undone after each.
    void StartTrials() { trial_ = true; }
    // A decode that will never be undone keeps no log.
    void StopLogging() { logging_ = false; }
    void UndoTrial() {
        for (const std::uint32_t entry : trialLog_) mask_[entry / 64] &= ~(std::uint64_t{1} << (entry % 64));
        trialLog_.clear();
    }
    // The state the first decode had when `count` of its changes were made.
    void MoveTo(std::uint64_t count) {
        for (; applied_ > count; --applied_) {
            const std::uint32_t entry = log_[static_cast<std::size_t>(applied_ - 1)];
            mask_[entry / 64] &= ~(std::uint64_t{1} << (entry % 64));
        }
        for (; applied_ < count && applied_ < log_.size(); ++applied_) {
            const std::uint32_t entry = log_[static_cast<std::size_t>(applied_)];
            mask_[entry / 64] |= std::uint64_t{1} << (entry % 64);
        }
    }

  private:
    std::vector<std::uint64_t> mask_;
    std::vector<std::uint32_t> log_;
    std::vector<std::uint32_t> trialLog_;
    std::uint64_t applied_ = 0;
    bool trial_ = false;
    bool overflowed_ = false;
    bool logging_ = true;
};

// Why a decode stopped short of the end-of-image marker.
enum class Failure {
    kNone,
    kData,      // a code, category, position or run no encoder writes: the bytes are not this scan's
    kCount,     // a marker where data was due, or data where the scan should have ended
    kOutOfReach,
    kUnsupported,
};

// What the first decode keeps for the search: checkpoints of the last stretch it decoded, and the
// setups they refer to.
struct Recorder {
    std::uint64_t block = 512;
    std::size_t maxCheckpoints = 64;
    std::deque<Checkpoint> checkpoints;
    std::deque<Setup> setups;
    std::size_t setupBase = 0;  // index of setups.front()

    void Add(const Checkpoint& point) {
        if (!checkpoints.empty() && checkpoints.back().bits.next / block == point.bits.next / block &&
            checkpoints.back().inScan == point.inScan) {
            checkpoints.back() = point;
        } else {
            checkpoints.push_back(point);
        }
        while (checkpoints.size() > maxCheckpoints) checkpoints.pop_front();
        while (!setups.empty() && setupBase < checkpoints.front().setup) {
            setups.pop_front();
            ++setupBase;
        }
    }
};

// A state at the start of an MCU in the second piece, as earlier trials met it.
struct MemoKey {
    std::uint64_t physical = 0;
    std::uint8_t current = 0;
    std::uint8_t left = 0;
    std::uint32_t eobRun = 0;
    int scan = 0;
    bool operator==(const MemoKey&) const = default;
};
struct MemoKeyHash {
    std::size_t operator()(const MemoKey& key) const {
        return std::hash<std::uint64_t>()(key.physical * 4099 + key.current * 13u + key.left * 7u + key.eobRun) ^
               (static_cast<std::size_t>(key.scan) << 1);
    }
};
enum class MemoFate : std::uint8_t { kScanCompleted, kDataFailure, kCountFailure };
struct MemoEntry {
    std::uint64_t mcu = 0;
    MemoFate fate = MemoFate::kCountFailure;
};

// States of earlier trials. From a state at an MCU start (position, bits left, run of empty blocks),
// the decoding of a sequential scan, or of a progressive scan that is not an AC refinement, depends
// only on the bytes, not on which MCU it is; so a trial that meets an earlier trial's state shares
// its path from there. Without restart markers:
// - if the earlier one ended its scan properly with another MCU count, this one cannot: it either
//   needs bits where the padding and marker stand (no code is all one-bits), or stops where the
//   earlier one went on reading codes or data bytes;
// - if the earlier one met bytes that are no picture data, so does this one, or it stops short of
//   them where, as above, the earlier one went on reading;
// - if the earlier one failed on the count with the same MCU count, so does this one.
class Memo {
  public:
    std::optional<MemoFate> Dooms(const MemoKey& key, std::uint64_t mcu) const {
        const auto found = map_.find(key);
        if (found == map_.end()) return std::nullopt;
        const MemoEntry& entry = found->second;
        if (entry.fate == MemoFate::kScanCompleted && entry.mcu != mcu) return MemoFate::kCountFailure;
        if (entry.fate == MemoFate::kDataFailure) return MemoFate::kDataFailure;
        if (entry.fate == MemoFate::kCountFailure && entry.mcu == mcu) return MemoFate::kCountFailure;
        return std::nullopt;
    }
    void Note(const MemoKey& key, std::uint64_t mcu) {
        if (pending_.size() < kMaxMemo) pending_.push_back({key, {mcu, MemoFate::kCountFailure}});
    }
    // The trial's states of scan `scan`, each with how that scan ended for it.
    void Settle(int scan, MemoFate fate) {
        for (auto& [key, entry] : pending_) {
            if (key.scan != scan || map_.size() >= kMaxMemo) continue;
            entry.fate = fate;
            map_.insert_or_assign(key, entry);
        }
        std::erase_if(pending_, [&](const auto& p) { return p.first.scan == scan; });
    }
    void Forget() { pending_.clear(); }

  private:
    std::unordered_map<MemoKey, MemoEntry, MemoKeyHash> map_;
    std::vector<std::pair<MemoKey, MemoEntry>> pending_;
};

class Decoder {
  public:
    Decoder(JoinedBytes& bytes, NonZeroMask& mask, Recorder* recorder, Memo* memo)
        : bytes_(bytes), mask_(mask), recorder_(recorder), memo_(memo) {}

    JpegDecodeResult Run() {
        if (bytes_.At(0) != 0xFF || bytes_.At(1) != 0xD8) return Unsupported(0);
        return Walk(2);
    }

    // Takes decoding up again at a checkpoint of the first decode, with the setup it had there.
    JpegDecodeResult Resume(const Checkpoint& point, const Setup& setup) {
        base_ = &setup;
        own_.reset();
        if (!point.inScan) return Walk(point.bits.next);
        SetState(point.bits);
        resumed_ = true;
        inData_ = true;
        mcu_ = point.mcu;
        eobRun_ = point.eobRun;
        auto marker = ContinueScan();
        if (!marker) return Stopped();
        return Walk(*marker);
    }

    Failure failure() const { return failure_; }

  private:
    JpegDecodeResult Stopped() {
        switch (failure_) {
            case Failure::kOutOfReach:
                return {JpegDecodeResult::Kind::kOutOfReach, failedAt_};
            case Failure::kUnsupported:
                return {JpegDecodeResult::Kind::kUnsupported, failedAt_};
            default:
                return {JpegDecodeResult::Kind::kBroken, failedAt_, inData_};
        }
    }
    JpegDecodeResult Unsupported(std::uint64_t at) {
        Fail(Failure::kUnsupported, at);
        return Stopped();
    }
    bool Fail(Failure why, std::uint64_t at) {
        failure_ = why;
        failedAt_ = at;
        return false;
    }
    bool Missing(std::uint64_t at) { return Fail(Failure::kOutOfReach, at); }

    std::optional<std::uint16_t> U16(std::uint64_t at) {
        const auto hi = bytes_.At(at);
        const auto lo = bytes_.At(at + 1);
        if (!hi || !lo) return std::nullopt;
        return static_cast<std::uint16_t>(*hi << 8 | *lo);
    }

    // The marker segments from `at` on, decoding each scan, up to the end-of-image marker.
    JpegDecodeResult Walk(std::uint64_t at) {
        for (int segments = 0; segments < kMaxSegments; ++segments) {
            const auto ff = bytes_.At(at);
            if (!ff) return Missing(at), Stopped();
            if (*ff != 0xFF) return Fail(Failure::kCount, at), Stopped();
            std::uint64_t markerAt = at + 1;
            auto marker = bytes_.At(markerAt);
            for (int fill = 0; marker && *marker == 0xFF && fill < kMaxFill; ++fill) marker = bytes_.At(++markerAt);
            if (!marker) return Missing(markerAt), Stopped();
            if (*marker == 0xD9) {
                if (setup().scans == 0) return Fail(Failure::kCount, at), Stopped();
                for (int c = 0; c < setup().componentCount; ++c) {
                    if (setup().complete[static_cast<std::size_t>(c)] != ~std::uint64_t{0})
                        return Fail(Failure::kCount, at), Stopped();
                }
                return {JpegDecodeResult::Kind::kWhole, markerAt + 1};
            }
            if (*marker == 0x00 || *marker == 0x01 || *marker == 0xD8 || *marker == 0xFF ||
                (*marker >= 0xD0 && *marker <= 0xD7)) {
                return Fail(Failure::kCount, at), Stopped();
            }
            const auto length = U16(markerAt + 1);
            if (!length) return Missing(markerAt + 1), Stopped();
            if (*length < 2) return Fail(Failure::kData, at), Stopped();
            const std::uint64_t body = markerAt + 3;
            const std::uint64_t bodyLength = *length - 2u;
            const std::uint64_t after = body + bodyLength;
            const std::uint8_t m = *marker;
            if (m == 0xC0 || m == 0xC1 || m == 0xC2) {
                if (setup().sawFrame || !ParseFrame(body, bodyLength, m == 0xC2)) return Stopped();
            } else if ((m >= 0xC3 && m <= 0xCF && m != 0xC4 && m != 0xC8) || m == 0xDC) {
                // Lossless, hierarchical and arithmetic-coded frames, and heights given after the scan.
                return Unsupported(at);
            } else if (m == 0xC4) {
                if (!ParseHuffmanTables(body, bodyLength)) return Stopped();
            } else if (m == 0xDD) {
                const auto interval = U16(body);
                if (bodyLength != 2) return Fail(Failure::kData, at), Stopped();
                if (!interval) return Missing(body), Stopped();
                Mutable().restartInterval = *interval;
            } else if (m == 0xDA) {
                if (!setup().sawFrame || !ParseScanHeader(body, bodyLength)) {
                    if (failure_ == Failure::kNone) Fail(Failure::kData, at);
                    return Stopped();
                }
                auto end = DecodeScan(after);
                if (!end) return Stopped();
                at = *end;
                continue;
            }
            at = after;
        }
        return Fail(Failure::kData, at), Stopped();
    }

    bool ParseFrame(std::uint64_t body, std::uint64_t length, bool progressive) {
        Setup& w = Mutable();
        std::array<std::uint8_t, 6 + 3 * kMaxComponents> field{};
        if (length < 6) return Fail(Failure::kData, body);
        for (std::size_t i = 0; i < 6; ++i) {
            const auto b = bytes_.At(body + i);
            if (!b) return Missing(body + i);
            field[i] = *b;
        }
        const int precision = field[0];
        w.height = std::uint64_t{field[1]} << 8 | field[2];
        w.width = std::uint64_t{field[3]} << 8 | field[4];
        const int count = field[5];
        if (precision != 8 && precision != 12) return Fail(Failure::kUnsupported, body);
        if (w.height == 0) return Fail(Failure::kUnsupported, body);
        if (w.width == 0 || count == 0 || length != 6 + 3u * count) return Fail(Failure::kData, body);
        if (count > kMaxComponents) return Fail(Failure::kUnsupported, body);
        for (std::size_t i = 6; i < 6 + 3u * count; ++i) {
            const auto b = bytes_.At(body + i);
            if (!b) return Missing(body + i);
            field[i] = *b;
        }
        w.sawFrame = true;
        w.progressive = progressive;
        w.dcMaxCategory = precision == 8 ? 11 : 15;
        w.acMaxCategory = precision == 8 ? 10 : 14;
        w.componentCount = count;
        w.hmax = w.vmax = 1;
        for (int c = 0; c < count; ++c) {
            Component& comp = w.components[static_cast<std::size_t>(c)];
            comp.id = field[6 + 3 * c];
            comp.h = field[7 + 3 * c] >> 4;
            comp.v = field[7 + 3 * c] & 15;
            if (comp.h < 1 || comp.h > 4 || comp.v < 1 || comp.v > 4) return Fail(Failure::kData, body);
            for (int d = 0; d < c; ++d)
                if (w.components[static_cast<std::size_t>(d)].id == comp.id) return Fail(Failure::kData, body);
            w.hmax = std::max(w.hmax, comp.h);
            w.vmax = std::max(w.vmax, comp.v);
        }
        const auto hmax = static_cast<std::uint64_t>(w.hmax);
        const auto vmax = static_cast<std::uint64_t>(w.vmax);
        w.mcusWide = (w.width + 8 * hmax - 1) / (8 * hmax);
        w.mcusHigh = (w.height + 8 * vmax - 1) / (8 * vmax);
        w.blocks = 0;
        for (int c = 0; c < count; ++c) {
            Component& comp = w.components[static_cast<std::size_t>(c)];
            const auto h = static_cast<std::uint64_t>(comp.h);
            const auto v = static_cast<std::uint64_t>(comp.v);
            comp.blocksWide = ((w.width * h + hmax - 1) / hmax + 7) / 8;
            comp.blocksHigh = ((w.height * v + vmax - 1) / vmax + 7) / 8;
            comp.gridWide = w.mcusWide * h;
            comp.maskBase = w.blocks;
            w.blocks += comp.gridWide * w.mcusHigh * v;
        }
        if (progressive && !mask_.allocated() && !mask_.Allocate(w.blocks))
            return Fail(Failure::kUnsupported, body);
        return true;
    }

    bool ParseHuffmanTables(std::uint64_t body, std::uint64_t length) {
        Setup& w = Mutable();
        std::uint64_t at = body;
        const std::uint64_t end = body + length;
        while (at < end) {
            if (end - at < 17) return Fail(Failure::kData, at);
            const auto classAndId = bytes_.At(at);
            if (!classAndId) return Missing(at);
            const int tableClass = *classAndId >> 4;
            const int id = *classAndId & 15;
            if (tableClass > 1 || id > 3) return Fail(Failure::kData, at);
            std::array<int, 16> counts{};
            int total = 0;
            for (int i = 0; i < 16; ++i) {
                const auto n = bytes_.At(at + 1 + static_cast<std::uint64_t>(i));
                if (!n) return Missing(at + 1 + static_cast<std::uint64_t>(i));
                counts[static_cast<std::size_t>(i)] = *n;
                total += *n;
            }
            if (total > 256 || end - at - 17 < static_cast<std::uint64_t>(total)) return Fail(Failure::kData, at);
            HuffTable& table = tableClass == 0 ? w.dc[static_cast<std::size_t>(id)]
                                               : w.ac[static_cast<std::size_t>(id)];
            table = HuffTable{};
            for (int i = 0; i < total; ++i) {
                const auto value = bytes_.At(at + 17 + static_cast<std::uint64_t>(i));
                if (!value) return Missing(at + 17 + static_cast<std::uint64_t>(i));
                table.values[static_cast<std::size_t>(i)] = *value;
            }
            // Canonical codes; a table that leaves no code unused (or overfills a length) is refused
            // as decoders refuse it.
            std::int32_t code = 0;
            int k = 0;
            for (int bitsLong = 1; bitsLong <= 16; ++bitsLong) {
                const int n = counts[static_cast<std::size_t>(bitsLong - 1)];
                table.valptr[static_cast<std::size_t>(bitsLong)] = k;
                table.mincode[static_cast<std::size_t>(bitsLong)] = code;
                code += n;
                k += n;
                table.maxcode[static_cast<std::size_t>(bitsLong)] = n > 0 ? code - 1 : -1;
                if (n > 0 && code >= (std::int32_t{1} << bitsLong)) return Fail(Failure::kData, at);
                code <<= 1;
            }
            table.defined = total > 0;
            int index = 0;
            std::uint32_t value = 0;
            for (unsigned bitsLong = 1; bitsLong <= kFastBits; ++bitsLong) {
                for (int n = 0; n < counts[bitsLong - 1]; ++n, ++index, ++value) {
                    const std::uint32_t first = value << (kFastBits - bitsLong);
                    for (std::uint32_t fill = 0; fill < (1u << (kFastBits - bitsLong)); ++fill)
                        table.fast[first + fill] = static_cast<std::uint16_t>(bitsLong << 8 | table.values[static_cast<std::size_t>(index)]);
                }
                value <<= 1;
            }
            at += 17 + static_cast<std::uint64_t>(total);
        }
        return true;
    }

    bool ParseScanHeader(std::uint64_t body, std::uint64_t length) {
        Setup& w = Mutable();
        const auto count = bytes_.At(body);
        if (!count) return Missing(body);
        if (*count < 1 || *count > w.componentCount || length != 4 + 2u * *count)
            return Fail(Failure::kData, body);
        ScanHeader scan;
        scan.count = *count;
        int blocksInMcu = 0;
        for (int i = 0; i < scan.count; ++i) {
            const auto id = bytes_.At(body + 1 + 2 * static_cast<std::uint64_t>(i));
            const auto tables = bytes_.At(body + 2 + 2 * static_cast<std::uint64_t>(i));
            if (!id || !tables) return Missing(body);
            int which = -1;
            for (int c = 0; c < w.componentCount; ++c)
                if (w.components[static_cast<std::size_t>(c)].id == *id) which = c;
            for (int j = 0; j < i; ++j)
                if (scan.component[static_cast<std::size_t>(j)] == which) which = -1;
            if (which < 0 || (*tables >> 4) > 3 || (*tables & 15) > 3) return Fail(Failure::kData, body);
            scan.component[static_cast<std::size_t>(i)] = which;
            scan.dcTable[static_cast<std::size_t>(i)] = *tables >> 4;
            scan.acTable[static_cast<std::size_t>(i)] = *tables & 15;
            const Component& comp = w.components[static_cast<std::size_t>(which)];
            blocksInMcu += comp.h * comp.v;
        }
        const std::uint64_t tail = body + 1 + 2 * static_cast<std::uint64_t>(scan.count);
        const auto ss = bytes_.At(tail);
        const auto se = bytes_.At(tail + 1);
        const auto a = bytes_.At(tail + 2);
        if (!ss || !se || !a) return Missing(tail);
        scan.ss = *ss;
        scan.se = *se;
        scan.ah = *a >> 4;
        scan.al = *a & 15;
        if (scan.count > 1 && blocksInMcu > 10) return Fail(Failure::kData, body);
        if (!w.progressive) {
            if (scan.ss != 0 || scan.se != 63 || scan.ah != 0 || scan.al != 0) return Fail(Failure::kData, body);
        } else {
            if (scan.ss > scan.se || scan.se > 63 || scan.al > 13 || scan.ah > 13) return Fail(Failure::kData, body);
            if ((scan.ss == 0) != (scan.se == 0)) return Fail(Failure::kData, body);
            if (scan.ss > 0 && scan.count != 1) return Fail(Failure::kData, body);
            if (scan.ah != 0 && scan.al != scan.ah - 1) return Fail(Failure::kData, body);
        }
        // Every table a symbol of this scan is decoded with must be there.
        for (int i = 0; i < scan.count; ++i) {
            const bool needsDc = scan.ss == 0 && scan.ah == 0;
            const bool needsAc = scan.se > 0;
            if (needsDc && !w.dc[static_cast<std::size_t>(scan.dcTable[static_cast<std::size_t>(i)])].defined)
                return Fail(Failure::kData, body);
            if (needsAc && !w.ac[static_cast<std::size_t>(scan.acTable[static_cast<std::size_t>(i)])].defined)
                return Fail(Failure::kData, body);
        }
        if (scan.count == 1) {
            const Component& comp = w.components[static_cast<std::size_t>(scan.component[0])];
            scan.mcus = comp.blocksWide * comp.blocksHigh;
        } else {
            scan.mcus = w.mcusWide * w.mcusHigh;
        }
        scan.index = w.scans++;
        w.scan = scan;
        return true;
    }

    // --- entropy-coded data ---

    // The bit reader. Bytes are loaded ahead into a 64-bit store (never past a marker); which loaded
    // byte each bit came from is kept for the last few, so that the reading position can be told and
    // taken up again at byte and bit exactly.
    void SetState(const BitState& state) {
        acc_ = state.current;
        count_ = state.left;
        loaded_ = 0;
        fillAt_ = state.next;
        startAt_ = state.next;
        stopped_ = Failure::kNone;
        if (state.left > 0) Remember(state.next, state.current);
    }
    void Remember(std::uint64_t after, std::uint8_t value) {
        const std::size_t slot = loaded_++ % kRing;
        ringAfter_[slot] = after;
        ringValue_[slot] = value;
    }
    BitState State() const {
        if (count_ == 0) return {fillAt_, 0, 0};
        const std::uint64_t bytesHeld = (count_ + 7) / 8;
        const std::uint64_t index = loaded_ - bytesHeld;  // the byte holding the next bit
        if (count_ % 8 == 0) {
            // At the start of that byte: where the byte before it ended.
            return {index == 0 ? startAt_ : ringAfter_[(index - 1) % kRing], 0, 0};
        }
        return {ringAfter_[index % kRing], ringValue_[index % kRing], static_cast<std::uint8_t>(count_ % 8)};
    }
    std::uint64_t Position() const { return State().next; }
    void Fill() {
        while (count_ <= 56 && stopped_ == Failure::kNone) {
            // Whole stretches of bytes at a time; the last byte of a stretch (which may be an FF
            // whose partner lies in the next) the slow way.
            const auto run = bytes_.Stretch(fillAt_);
            std::size_t i = 0;
            while (count_ <= 56 && i + 1 < run.size()) {
                const std::uint8_t b = run[i];
                std::size_t step = 1;
                if (b == 0xFF) {
                    // A marker: the scan's data ends here, and nothing past it is read as bits.
                    if (run[i + 1] != 0x00) {
                        stopped_ = Failure::kCount;
                        break;
                    }
                    step = 2;
                }
                acc_ = acc_ << 8 | b;
                count_ += 8;
                fillAt_ += step;
                Remember(fillAt_, b);
                i += step;
            }
            if (!bytes_.Charge(i)) stopped_ = Failure::kOutOfReach;
            if (stopped_ != Failure::kNone || count_ > 56) break;
            FillOne();
        }
    }
    void FillOne() {
        const auto b = bytes_.At(fillAt_);
        if (!b) {
            stopped_ = Failure::kOutOfReach;
            return;
        }
        std::uint64_t after = fillAt_ + 1;
        if (*b == 0xFF) {
            const auto c = bytes_.At(fillAt_ + 1);
            if (!c) {
                stopped_ = Failure::kOutOfReach;
                return;
            }
            if (*c != 0x00) {
                stopped_ = Failure::kCount;
                return;
            }
            after = fillAt_ + 2;
        }
        acc_ = acc_ << 8 | *b;
        count_ += 8;
        Remember(after, *b);
        fillAt_ = after;
    }
    bool Need(unsigned n) {
        if (count_ < n) Fill();
        if (count_ >= n) return true;
        return Fail(stopped_ == Failure::kOutOfReach ? Failure::kOutOfReach : Failure::kCount, fillAt_);
    }
    int Bit() {
        if (count_ == 0 && !Need(1)) return -1;
        --count_;
        return static_cast<int>(acc_ >> count_ & 1);
    }
    std::int32_t Bits(int n) {
        if (n == 0) return 0;
        if (!Need(static_cast<unsigned>(n))) return -1;
        count_ -= static_cast<unsigned>(n);
        return static_cast<std::int32_t>(acc_ >> count_ & ((std::uint64_t{1} << n) - 1));
    }
    int Decode(const HuffTable& table) {
        if (count_ < 16) Fill();
        if (count_ >= kFastBits) {
            const auto peek = static_cast<std::size_t>(acc_ >> (count_ - kFastBits) & ((1u << kFastBits) - 1));
            const std::uint16_t entry = table.fast[peek];
            if (entry != 0) {
                count_ -= entry >> 8;
                return entry & 0xFF;
            }
        }
        std::int32_t code = 0;
        for (unsigned length = 1; length <= 16; ++length) {
            if (count_ < length) {
                Need(length);
                return -1;
            }
            code = code << 1 | static_cast<std::int32_t>(acc_ >> (count_ - length) & 1);
            if (table.maxcode[length] >= 0 && code <= table.maxcode[length]) {
                count_ -= length;
                return table.values[static_cast<std::size_t>(table.valptr[length] + code - table.mincode[length])];
            }
        }
        Fail(Failure::kData, Position());
        return -1;
    }
    // The bits left in the byte being read are one-bits (the padding before a marker).
    bool PaddingIsOnes() const {
        const unsigned r = count_ % 8;
        const std::uint64_t mask = (std::uint64_t{1} << r) - 1;
        return (acc_ >> (count_ - r) & mask) == mask;
    }

    // One scan from its first data byte; gives the position of the marker after it.
    std::optional<std::uint64_t> DecodeScan(std::uint64_t at) {
        SetState(BitState{at, 0, 0});
        inData_ = true;
        mcu_ = 0;
        eobRun_ = 0;
        if (recorder_ != nullptr) recorder_->setups.push_back(setup());
        return ContinueScan();
    }

    std::optional<std::uint64_t> ContinueScan() {
        const ScanHeader& scan = setup().scan;
        const std::uint32_t interval = setup().restartInterval;
        // Trials that meet an earlier trial's path end early (see Memo).
        const bool memoable = memo_ != nullptr && interval == 0 && !(setup().progressive && scan.ss > 0 && scan.ah > 0);
        auto settle = [&](MemoFate fate) {
            if (memoable) memo_->Settle(scan.index, fate);
        };
        for (; mcu_ < scan.mcus; ++mcu_) {
            // A checkpoint is taken after the restart marker before its MCU.
            if (interval != 0 && mcu_ != 0 && mcu_ % interval == 0 && !resumed_ && !Restart(mcu_ / interval - 1))
                return std::nullopt;
            resumed_ = false;
            if (recorder_ != nullptr) Record(true);
            // The byte being read (and its stuffing) lies in the second piece.
            // Only the first MCU start in each stretch of kMemoStride bytes is remembered and looked up:
            // a trial that joins another's path meets the same states, so it still meets one of those.
            const BitState state = memoable ? State() : BitState{};
            if (memoable && state.next >= 2 && bytes_.InSecond(state.next - 2) &&
                bytes_.Physical(state.next) / kMemoStride != memoStretch_) {
                memoStretch_ = bytes_.Physical(state.next) / kMemoStride;
                const MemoKey key{bytes_.Physical(state.next), state.current, state.left, eobRun_, scan.index};
                if (const auto fate = memo_->Dooms(key, mcu_)) {
                    Fail(*fate == MemoFate::kDataFailure ? Failure::kData : Failure::kCount, state.next);
                    settle(*fate == MemoFate::kDataFailure ? MemoFate::kDataFailure : MemoFate::kCountFailure);
                    return std::nullopt;
                }
                memo_->Note(key, mcu_);
            }
            if (!DecodeMcu()) {
                settle(failure_ == Failure::kData ? MemoFate::kDataFailure : MemoFate::kCountFailure);
                return std::nullopt;
            }
        }
        // The last byte is padded with one-bits, and a marker follows; a run of EOBs left over would
        // mean more blocks than the scan has.
        const std::uint64_t end = Position();
        if (!PaddingIsOnes() || eobRun_ != 0) {
            settle(MemoFate::kCountFailure);
            return Fail(Failure::kCount, end), std::nullopt;
        }
        // The byte after the padding, not bytes loaded ahead: those would have been data.
        const std::uint64_t after = count_ % 8 != 0 ? State().next : end;
        const auto ff = bytes_.At(after);
        const auto marker = bytes_.At(after + 1);
        if (!ff || !marker) return Missing(after), std::nullopt;
        if (count_ >= 8 || *ff != 0xFF || *marker == 0x00) {
            settle(MemoFate::kCountFailure);
            return Fail(Failure::kCount, after), std::nullopt;
        }
        settle(MemoFate::kScanCompleted);
        if (scan.al == 0) {
            const std::uint64_t span = (scan.se == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (scan.se + 1)) - 1) &
                                       ~((std::uint64_t{1} << scan.ss) - 1);
            const ScanHeader finished = scan;
            Setup& w = Mutable();
            for (int i = 0; i < finished.count; ++i)
                w.complete[static_cast<std::size_t>(finished.component[static_cast<std::size_t>(i)])] |= span;
        }
        if (recorder_ != nullptr) {
            // Taken up here, decoding goes on with this scan's coefficients complete.
            recorder_->setups.back().complete = setup().complete;
            SetState(BitState{after, 0, 0});
            Record(false);
        }
        return after;
    }

    void Record(bool inScan) {
        Checkpoint point;
        point.inScan = inScan;
        point.bits = State();
        point.mcu = mcu_;
        point.eobRun = eobRun_;
        point.undo = mask_.applied();
        point.setup = recorder_->setupBase + recorder_->setups.size() - 1;
        recorder_->Add(point);
    }

    bool Restart(std::uint64_t number) {
        // Whole bytes loaded ahead would be data where the marker should stand.
        if (!PaddingIsOnes() || eobRun_ != 0 || count_ >= 8) return Fail(Failure::kCount, Position());
        std::uint64_t at = State().next;
        const auto ff = bytes_.At(at);
        if (!ff) return Missing(at);
        if (*ff != 0xFF) return Fail(Failure::kCount, at);
        auto marker = bytes_.At(++at);
        for (int fill = 0; marker && *marker == 0xFF && fill < kMaxFill; ++fill) marker = bytes_.At(++at);
        if (!marker) return Missing(at);
        if (*marker != 0xD0 + (number & 7)) return Fail(Failure::kCount, at);
        SetState(BitState{at + 1, 0, 0});
        eobRun_ = 0;
        return true;
    }

    bool DecodeMcu() {
        const ScanHeader& scan = setup().scan;
        if (scan.count == 1) {
            const Component& comp = setup().components[static_cast<std::size_t>(scan.component[0])];
            const std::uint64_t row = mcu_ / comp.blocksWide;
            const std::uint64_t column = mcu_ % comp.blocksWide;
            return DecodeBlock(0, comp.maskBase + row * comp.gridWide + column);
        }
        const std::uint64_t mx = mcu_ % setup().mcusWide;
        const std::uint64_t my = mcu_ / setup().mcusWide;
        for (int i = 0; i < scan.count; ++i) {
            const Component& comp = setup().components[static_cast<std::size_t>(scan.component[static_cast<std::size_t>(i)])];
            const auto h = static_cast<std::uint64_t>(comp.h);
            const auto v = static_cast<std::uint64_t>(comp.v);
            for (std::uint64_t y = 0; y < v; ++y) {
                for (std::uint64_t x = 0; x < h; ++x) {
                    if (!DecodeBlock(i, comp.maskBase + (my * v + y) * comp.gridWide + mx * h + x)) return false;
                }
            }
        }
        return true;
    }

    bool DecodeBlock(int i, std::uint64_t block) {
        const ScanHeader& scan = setup().scan;
        const auto slot = static_cast<std::size_t>(i);
        const HuffTable& dc = setup().dc[static_cast<std::size_t>(scan.dcTable[slot])];
        const HuffTable& ac = setup().ac[static_cast<std::size_t>(scan.acTable[slot])];
        if (!setup().progressive) return DecodeSequential(dc, ac);
        if (scan.ss == 0) {
            if (scan.ah != 0) return Bit() >= 0;
            return DecodeDc(dc);
        }
        return scan.ah == 0 ? DecodeAcFirst(ac, block) : DecodeAcRefine(ac, block);
    }

    bool DecodeDc(const HuffTable& dc) {
        const int s = Decode(dc);
        if (s < 0) return false;
        if (s > setup().dcMaxCategory) return Fail(Failure::kData, Position());
        return Bits(s) >= 0;
    }

    bool DecodeSequential(const HuffTable& dc, const HuffTable& ac) {
        if (!DecodeDc(dc)) return false;
        for (int k = 1; k < 64; ++k) {
            const int rs = Decode(ac);
            if (rs < 0) return false;
            const int r = rs >> 4;
            const int s = rs & 15;
            if (s == 0) {
                if (r == 0) return true;
                // A run of sixteen zeros is only written before a later non-zero coefficient.
                if (r != 15 || k + 15 >= 63) return Fail(Failure::kData, Position());
                k += 15;
                continue;
            }
            k += r;
            if (k > 63 || s > setup().acMaxCategory) return Fail(Failure::kData, Position());
            if (Bits(s) < 0) return false;
        }
        return true;
    }

    bool DecodeAcFirst(const HuffTable& ac, std::uint64_t block) {
        const ScanHeader& scan = setup().scan;
        if (eobRun_ > 0) {
            --eobRun_;
            return true;
        }
        for (int k = scan.ss; k <= scan.se; ++k) {
            const int rs = Decode(ac);
            if (rs < 0) return false;
            const int r = rs >> 4;
            const int s = rs & 15;
            if (s != 0) {
                k += r;
                if (k > scan.se || s > setup().acMaxCategory) return Fail(Failure::kData, Position());
                if (Bits(s) < 0) return false;
                mask_.Set(block, k);
            } else if (r < 15) {
                eobRun_ = std::uint32_t{1} << r;
                if (r > 0) {
                    const std::int32_t extra = Bits(r);
                    if (extra < 0) return false;
                    eobRun_ += static_cast<std::uint32_t>(extra);
                }
                --eobRun_;
                return true;
            } else {
                if (k + 15 >= scan.se) return Fail(Failure::kData, Position());
                k += 15;
            }
        }
        return true;
    }

    bool DecodeAcRefine(const HuffTable& ac, std::uint64_t block) {
        const ScanHeader& scan = setup().scan;
        int k = scan.ss;
        if (eobRun_ == 0) {
            for (; k <= scan.se; ++k) {
                const int rs = Decode(ac);
                if (rs < 0) return false;
                int r = rs >> 4;
                const int s = rs & 15;
                if (s != 0) {
                    if (s != 1) return Fail(Failure::kData, Position());
                    if (Bit() < 0) return false;
                } else if (r != 15) {
                    eobRun_ = std::uint32_t{1} << r;
                    if (r > 0) {
                        const std::int32_t extra = Bits(r);
                        if (extra < 0) return false;
                        eobRun_ += static_cast<std::uint32_t>(extra);
                    }
                    break;
                }
                // Past coefficients already non-zero (each with its correction bit) and r zero ones,
                // to the zero coefficient that becomes non-zero (or ends the run of sixteen).
                bool reached = false;
                for (; k <= scan.se; ++k) {
                    if (mask_.Test(block, k)) {
                        if (Bit() < 0) return false;
                    } else if (--r < 0) {
                        reached = true;
                        break;
                    }
                }
                if (!reached) return Fail(Failure::kData, Position());
                if (s != 0) mask_.Set(block, k);
            }
        }
        if (eobRun_ > 0) {
            for (; k <= scan.se; ++k) {
                if (mask_.Test(block, k) && Bit() < 0) return false;
            }
            --eobRun_;
        }
        return true;
    }

    JoinedBytes& bytes_;
    NonZeroMask& mask_;
    Recorder* recorder_;
    Memo* memo_;
    // The setup read from: the checkpoint's, until a segment of this decode changes it (a copy is
    // made then, so that trials do not copy tables they never change).
    const Setup& setup() const { return *base_; }
    Setup& Mutable() {
        if (!own_) {
            own_.emplace(*base_);
            base_ = &*own_;
        }
        return *own_;
    }
    Setup empty_{};
    std::optional<Setup> own_;
    const Setup* base_ = &empty_;
    static constexpr std::size_t kRing = 16;
    std::uint64_t acc_ = 0;
    unsigned count_ = 0;  // bits of acc_ not used yet (its low bits)
    std::uint64_t fillAt_ = 0;
    std::uint64_t startAt_ = 0;  // where loading began (the first byte loaded starts there)
    Failure stopped_ = Failure::kNone;
    std::uint64_t loaded_ = 0;
    std::array<std::uint64_t, kRing> ringAfter_{};
    std::array<std::uint8_t, kRing> ringValue_{};
    std::uint64_t mcu_ = 0;
    std::uint32_t eobRun_ = 0;
    bool resumed_ = false;
    bool inData_ = false;
    std::uint64_t memoStretch_ = UINT64_MAX;
    Failure failure_ = Failure::kNone;
    std::uint64_t failedAt_ = 0;
};

// Whether the bytes from each block on can be the rest of the picture at all, told from its markers
// alone, so that most positions in unrelated data need no decoding. In entropy-coded data an FF is
// followed by 00 (stuffing), FF (fill) or a restart marker; the first other marker ends the scan.
// For a picture of one scan that marker must be the end of the image; for one of more scans it must
// at least be one that can follow a scan.
class ContinuationFilter {
  public:
    ContinuationFilter(CarveInput& in, std::uint64_t from, std::uint64_t to, std::uint64_t block, bool oneScan)
        : from_(from), block_(block) {
        const std::uint64_t blocks = to > from ? (to - from) / block + 1 : 0;
        possible_.assign(static_cast<std::size_t>(blocks), true);
        // Walked backwards: the nearest marker at or after each position.
        int nextMarker = -1;
        const std::uint64_t last = std::min(to + block, in.limit());
        std::uint64_t pieceEnd = last;
        int following = -1;  // the byte after the current one
        while (pieceEnd > from) {
            const std::uint64_t pieceStart =
                pieceEnd - std::min<std::uint64_t>(pieceEnd - from, CarveInput::kMaxWindow);
            const auto bytes = in.Window(pieceStart, static_cast<std::size_t>(pieceEnd - pieceStart));
            if (bytes.size() != pieceEnd - pieceStart) {
                possible_.assign(possible_.size(), true);  // unreadable: filter nothing
                return;
            }
            for (std::uint64_t pos = pieceEnd; pos-- > pieceStart;) {
                const auto b = std::to_integer<int>(bytes[static_cast<std::size_t>(pos - pieceStart)]);
                if (b == 0xFF && following >= 0 && following != 0x00 && following != 0xFF &&
                    !(following >= 0xD0 && following <= 0xD7)) {
                    nextMarker = following;
                }
                following = b;
                if ((pos - from) % block == 0) {
                    const auto index = static_cast<std::size_t>((pos - from) / block);
                    if (index < possible_.size()) possible_[index] = nextMarker < 0 || Ends(nextMarker, oneScan);
                }
            }
            pieceEnd = pieceStart;
        }
    }
    bool Possible(std::uint64_t at) const {
        if (at < from_) return true;
        const auto index = static_cast<std::size_t>((at - from_) / block_);
        return index >= possible_.size() || possible_[index];
    }

  private:
    static bool Ends(int marker, bool oneScan) {
        if (marker == 0xD9) return true;
        if (oneScan) return false;
        // Tables, restart interval, the next scan, comments and application data.
        return marker == 0xC4 || marker == 0xDA || marker == 0xDB || marker == 0xDD || marker == 0xFE ||
               (marker >= 0xE0 && marker <= 0xEF);
    }

    std::uint64_t from_;
    std::uint64_t block_;
    std::vector<bool> possible_;
};

}  // namespace

JpegDecodeResult DecodeJpeg(CarveInput& in) {
    JoinedBytes bytes(in);
    NonZeroMask mask;
    mask.StopLogging();
    Decoder decoder(bytes, mask, nullptr, nullptr);
    return decoder.Run();
}

std::optional<JpegFragments> FindJpegSecondFragment(CarveInput& in, const JpegGapLimits& limits) {
    const std::uint64_t block = std::max<std::uint64_t>(limits.block, 1);
    JoinedBytes bytes(in);
    NonZeroMask mask;
    Recorder recorder;
    recorder.block = block;
    recorder.maxCheckpoints = static_cast<std::size_t>(limits.maxBacktrack / block + 2);
    JpegDecodeResult first;
    {
        Decoder decoder(bytes, mask, &recorder, nullptr);
        first = decoder.Run();
    }
    if (first.kind != JpegDecodeResult::Kind::kBroken || !first.inData || recorder.checkpoints.empty() ||
        mask.overflowed())
        return std::nullopt;

    // Where the first piece may end: block boundaries at or before the break, not before the oldest
    // checkpoint kept.
    const std::uint64_t lastEnd = first.at / block * block;
    const std::uint64_t oldest = recorder.checkpoints.front().bits.next;
    struct Candidate {
        std::uint64_t firstEnd;
        const Checkpoint* point;
        std::vector<std::uint8_t> head;
    };
    std::vector<Candidate> candidates;
    for (std::uint64_t end = lastEnd; end >= block && end >= oldest && lastEnd - end <= limits.maxBacktrack;
         end -= block) {
        const Checkpoint* point = nullptr;
        for (auto it = recorder.checkpoints.rbegin(); it != recorder.checkpoints.rend(); ++it) {
            if (it->bits.next <= end) {
                point = &*it;
                break;
            }
        }
        if (point == nullptr) break;
        if (end - point->bits.next > kMaxHead) continue;
        Candidate candidate{end, point, std::vector<std::uint8_t>(static_cast<std::size_t>(end - point->bits.next))};
        if (!in.Read(point->bits.next, std::as_writable_bytes(std::span(candidate.head)))) continue;
        candidates.push_back(std::move(candidate));
    }
    if (candidates.empty()) return std::nullopt;

    // Positions whose bytes cannot continue the picture are not decoded at all.
    const Setup& lastSetup = recorder.setups.back();
    const std::uint64_t searchFrom = candidates.back().firstEnd + block;
    const std::uint64_t searchTo = std::min(candidates.front().firstEnd + limits.maxGap, in.limit());
    const bool oneScan =
        !lastSetup.progressive && lastSetup.scan.index == 0 && lastSetup.scan.count == lastSetup.componentCount;
    std::optional<ContinuationFilter> filter;
    if (searchTo > searchFrom) filter.emplace(in, searchFrom, searchTo, block, oneScan);

    mask.StartTrials();
    bytes.SetBudget(limits.budget);
    Memo memo;
    std::vector<JpegFragments> joins;
    // The second piece's start ascending, and for each the first piece's end from the latest: the
    // right pair then comes early, and the trials that follow its path end where they join it.
    for (std::uint64_t resume = searchFrom; resume < searchTo; resume += block) {
        if (filter && !filter->Possible(resume)) continue;
        for (const Candidate& candidate : candidates) {
            if (resume <= candidate.firstEnd || resume - candidate.firstEnd > limits.maxGap) continue;
            // A later start inside a join found with this first piece could only end at the same
            // marker, and would be taken as that join (below): not worth decoding.
            if (!joins.empty() && joins.front().firstEnd == candidate.firstEnd && resume < joins.front().end &&
                std::all_of(joins.begin(), joins.end(), [&](const JpegFragments& join) {
                    return join.firstEnd == candidate.firstEnd && join.end == joins.front().end;
                })) {
                continue;
            }
            mask.MoveTo(candidate.point->undo);
            bytes.Join(candidate.firstEnd, resume, &candidate.head, candidate.point->bits.next);
            Decoder trial(bytes, mask, nullptr, &memo);
            const JpegDecodeResult result = trial.Resume(
                *candidate.point, recorder.setups[candidate.point->setup - recorder.setupBase]);
            memo.Forget();
            mask.UndoTrial();
            if (bytes.exhausted() || mask.overflowed()) return std::nullopt;
            if (result.kind != JpegDecodeResult::Kind::kWhole || result.at <= candidate.firstEnd) continue;
            joins.push_back({candidate.firstEnd, resume, resume + (result.at - candidate.firstEnd)});
            if (joins.size() > kMaxJoins) return std::nullopt;
        }
    }
    if (joins.empty()) return std::nullopt;
    // Joins that differ only in where, within one run of bytes ending at the same end marker, the
    // second piece starts: the bytes the nearest one keeps decode as the picture's own (data of
    // scans that end by runs of empty blocks can also be entered later and still add up), so it is
    // the one. Any other choice is not sure.
    for (const JpegFragments& join : joins) {
        if (join.firstEnd != joins.front().firstEnd || join.end != joins.front().end) return std::nullopt;
    }
    return joins.front();
}

}  // namespace lumacore::formats
