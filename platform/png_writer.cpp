#include "platform/png_writer.h"

#include <libdeflate.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace zx {
namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFFu;

std::atomic<int> encoderThreads{0};

void PutU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

void AppendU32(ByteBuffer& out, std::uint32_t v) {
    std::uint8_t b[4];
    PutU32(b, v);
    out.insert(out.end(), b, b + 4);
}

// Length, type, data, then the CRC of type and data.
void AppendChunk(ByteBuffer& out, const char (&type)[5], const std::uint8_t* data,
                 std::size_t size) {
    AppendU32(out, static_cast<std::uint32_t>(size));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size != 0) out.insert(out.end(), data, data + size);
    AppendU32(out, libdeflate_crc32(0, out.data() + typeAt, size + 4));
}

// Unsigned counterpart of zlib's adler32_combine: the checksum of A followed by B from the
// checksums of A and B and the length of B.
std::uint32_t CombineAdler32(std::uint32_t adlerA, std::uint32_t adlerB, std::uint64_t lengthB) {
    constexpr std::uint32_t kBase = 65521;
    const std::uint32_t rem = static_cast<std::uint32_t>(lengthB % kBase);
    std::uint32_t sum1 = adlerA & 0xFFFF;
    std::uint32_t sum2 = static_cast<std::uint32_t>((std::uint64_t{rem} * sum1) % kBase);
    sum1 += (adlerB & 0xFFFF) + kBase - 1;
    sum2 += ((adlerA >> 16) & 0xFFFF) + ((adlerB >> 16) & 0xFFFF) + kBase - rem;
    if (sum1 >= kBase) sum1 -= kBase;
    if (sum1 >= kBase) sum1 -= kBase;
    if (sum2 >= (kBase << 1)) sum2 -= (kBase << 1);
    if (sum2 >= kBase) sum2 -= kBase;
    return sum1 | (sum2 << 16);
}

// One row of 0xAARRGGBB words to R, G, B, A bytes.
void RowToRgba(const std::uint8_t* src, std::uint8_t* dst, std::uint32_t width, bool opaque) {
    if (src == nullptr) {
        std::memset(dst, 0, std::size_t{width} * 4);
        return;
    }
    const std::uint32_t alphaOr = opaque ? 0xFF000000u : 0u;
    if constexpr (std::endian::native == std::endian::little) {
        // Swapping the red and blue bytes of each word gives R, G, B, A in memory order.
        for (std::uint32_t i = 0; i < width; ++i) {
            std::uint32_t v;
            std::memcpy(&v, src + 4 * std::size_t{i}, 4);
            v |= alphaOr;
            const std::uint32_t out = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
            std::memcpy(dst + 4 * std::size_t{i}, &out, 4);
        }
    } else {
        for (std::uint32_t i = 0; i < width; ++i) {
            std::uint32_t v;
            std::memcpy(&v, src + 4 * std::size_t{i}, 4);
            v |= alphaOr;
            std::uint8_t* d = dst + 4 * std::size_t{i};
            d[0] = static_cast<std::uint8_t>(v >> 16);
            d[1] = static_cast<std::uint8_t>(v >> 8);
            d[2] = static_cast<std::uint8_t>(v);
            d[3] = static_cast<std::uint8_t>(v >> 24);
        }
    }
}

// The filters read the unfiltered current and previous rows; written as plain loops without
// carried dependencies so the compiler can vectorise them.
void FilterSub(const std::uint8_t* cur, std::uint8_t* out, std::size_t n) {
    for (std::size_t i = 0; i < 4 && i < n; ++i) out[i] = cur[i];
    for (std::size_t i = 4; i < n; ++i) out[i] = static_cast<std::uint8_t>(cur[i] - cur[i - 4]);
}

void FilterUp(const std::uint8_t* cur, const std::uint8_t* prev, std::uint8_t* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(cur[i] - prev[i]);
}

void FilterAverage(const std::uint8_t* cur, const std::uint8_t* prev, std::uint8_t* out,
                   std::size_t n) {
    for (std::size_t i = 0; i < 4 && i < n; ++i)
        out[i] = static_cast<std::uint8_t>(cur[i] - (prev[i] >> 1));
    for (std::size_t i = 4; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(cur[i] - ((cur[i - 4] + prev[i]) >> 1));
}

inline std::uint8_t PaethPredict(int a, int b, int c) {
    const int pa = b > c ? b - c : c - b;
    const int pb = a > c ? a - c : c - a;
    const int pc0 = a + b - 2 * c;
    const int pc = pc0 < 0 ? -pc0 : pc0;
    const int ab = pa <= pb ? a : b;
    const int pab = pa <= pb ? pa : pb;
    return static_cast<std::uint8_t>(pab <= pc ? ab : c);
}

void FilterPaeth(const std::uint8_t* cur, const std::uint8_t* prev, std::uint8_t* out,
                 std::size_t n) {
    for (std::size_t i = 0; i < 4 && i < n; ++i)
        out[i] = static_cast<std::uint8_t>(cur[i] - PaethPredict(0, prev[i], 0));
    for (std::size_t i = 4; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(cur[i] - PaethPredict(cur[i - 4], prev[i], prev[i - 4]));
}

std::uint64_t SumAbs(const std::uint8_t* p, std::size_t n) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int v = static_cast<std::int8_t>(p[i]);
        sum += static_cast<std::uint64_t>(v < 0 ? -v : v);
    }
    return sum;
}

// Writes the filter byte and the filtered row to `out` (1 + n bytes). `scratch` holds 4 * n
// bytes for the adaptive choice.
void FilterRow(PngFilter filter, const std::uint8_t* cur, const std::uint8_t* prev,
               std::uint8_t* out, std::size_t n, std::uint8_t* scratch) {
    switch (filter) {
        case PngFilter::None:
            out[0] = 0;
            std::memcpy(out + 1, cur, n);
            return;
        case PngFilter::Sub:
            out[0] = 1;
            FilterSub(cur, out + 1, n);
            return;
        case PngFilter::Up:
            out[0] = 2;
            FilterUp(cur, prev, out + 1, n);
            return;
        case PngFilter::Average:
            out[0] = 3;
            FilterAverage(cur, prev, out + 1, n);
            return;
        case PngFilter::Paeth:
            out[0] = 4;
            FilterPaeth(cur, prev, out + 1, n);
            return;
        case PngFilter::Adaptive:
            break;
    }
    // The smallest sum of absolute values, as signed bytes, wins; "None" counts unsigned.
    std::uint8_t* candidates[4] = {scratch, scratch + n, scratch + 2 * n, scratch + 3 * n};
    FilterSub(cur, candidates[0], n);
    FilterUp(cur, prev, candidates[1], n);
    FilterAverage(cur, prev, candidates[2], n);
    FilterPaeth(cur, prev, candidates[3], n);
    std::uint64_t best = 0;
    for (std::size_t i = 0; i < n; ++i) best += cur[i];
    int bestFilter = 0;
    for (int f = 0; f < 4; ++f) {
        const std::uint64_t sum = SumAbs(candidates[f], n);
        if (sum < best) {
            best = sum;
            bestFilter = f + 1;
        }
    }
    out[0] = static_cast<std::uint8_t>(bestFilter);
    std::memcpy(out + 1, bestFilter == 0 ? cur : candidates[bestFilter - 1], n);
}

// Finds where the last block of a complete raw deflate stream starts and where it ends, in
// bits. libdeflate only writes whole streams, so stripes compressed on their own are joined
// by turning each one's final block into an ordinary one; for that we must find it, which
// takes walking every block's codes (without producing any output).
class DeflateWalker {
  public:
    DeflateWalker(const std::uint8_t* data, std::size_t size)
        : data_(data), size_(size), limit_(std::uint64_t{size} * 8) {}

    bool FindFinalBlock(std::uint64_t& finalStart, std::uint64_t& end) {
        for (;;) {
            Refill();
            const std::uint64_t start = Position();
            const std::uint32_t header = Take(3);
            const bool final = (header & 1) != 0;
            const std::uint32_t type = header >> 1;
            bool ok = false;
            if (type == 0) {
                ok = SkipStored();
            } else if (type == 1) {
                ok = SkipFixed();
            } else if (type == 2) {
                ok = SkipDynamic();
            }
            if (!ok || Position() > limit_) return false;
            if (final) {
                finalStart = start;
                end = Position();
                return true;
            }
        }
    }

  private:
    struct Table {
        std::vector<std::uint16_t> entries;  // symbol << 4 | code length; 0 = no code
        std::uint32_t mask = 0;
    };

    // Bits come from a 64-bit buffer refilled to at least 56 bits, enough for a length code
    // with its extra bits and a distance code with its extra bits. Past the end it reads
    // zeros; Position() then exceeds the limit and the walk fails.
    void Refill() {
        if (next_ + 8 <= size_) {
            std::uint64_t word;
            std::memcpy(&word, data_ + next_, 8);
            if constexpr (std::endian::native == std::endian::big) word = Swap64(word);
            bits_ |= word << count_;
            next_ += (63 - count_) >> 3;
            count_ |= 56;
            return;
        }
        while (count_ <= 56) {
            const std::uint64_t byte = next_ < size_ ? data_[next_] : 0;
            bits_ |= byte << count_;
            ++next_;
            count_ += 8;
        }
        // Zeros decode as codes too: stop the loops once reading is clearly past the end.
        if (next_ > size_ + 8) overrun_ = true;
    }
    std::uint64_t Position() const { return std::uint64_t{next_} * 8 - count_; }
    std::uint32_t Take(int n) {
        const auto v = static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << n) - 1));
        bits_ >>= n;
        count_ -= n;
        return v;
    }
    void MoveTo(std::uint64_t position) {
        next_ = static_cast<std::size_t>(std::min(position, limit_ + 64) >> 3);
        bits_ = 0;
        count_ = 0;
        Refill();
        Take(static_cast<int>(position & 7));
    }
    static std::uint64_t Swap64(std::uint64_t v) {
        std::uint64_t r = 0;
        for (int i = 0; i < 8; ++i) r = (r << 8) | ((v >> (8 * i)) & 0xFF);
        return r;
    }

    static bool Build(const std::uint8_t* lengths, int count, Table& table) {
        int lengthCount[16] = {};
        int maxLength = 0;
        for (int i = 0; i < count; ++i) {
            ++lengthCount[lengths[i]];
            maxLength = std::max<int>(maxLength, lengths[i]);
        }
        if (maxLength == 0) maxLength = 1;  // a block that never uses this code
        lengthCount[0] = 0;
        int left = 1;
        for (int len = 1; len <= 15; ++len) {
            left = (left << 1) - lengthCount[len];
            if (left < 0) return false;  // over-subscribed
        }
        int nextCode[16] = {};
        for (int len = 1, code = 0; len <= 15; ++len) {
            code = (code + lengthCount[len - 1]) << 1;
            nextCode[len] = code;
        }
        table.mask = (1u << maxLength) - 1;
        table.entries.assign(std::size_t{1} << maxLength, 0);
        for (int sym = 0; sym < count; ++sym) {
            const int len = lengths[sym];
            if (len == 0) continue;
            const int code = nextCode[len]++;
            int reversed = 0;
            for (int b = 0; b < len; ++b) reversed |= ((code >> b) & 1) << (len - 1 - b);
            const auto entry = static_cast<std::uint16_t>(sym << 4 | len);
            for (std::size_t i = static_cast<std::size_t>(reversed); i < table.entries.size();
                 i += std::size_t{1} << len)
                table.entries[i] = entry;
        }
        return true;
    }

    // The next symbol, or -1 for a bit pattern that is no code. Needs 15 buffered bits.
    int Decode(const Table& table) {
        const std::uint16_t entry = table.entries[bits_ & table.mask];
        const int len = entry & 15;
        if (len == 0) return -1;
        bits_ >>= len;
        count_ -= len;
        return entry >> 4;
    }

    bool SkipStored() {
        const std::uint64_t aligned = (Position() + 7) & ~std::uint64_t{7};
        if (aligned + 32 > limit_) return false;
        MoveTo(aligned);
        const std::uint32_t len = Take(16);
        const std::uint32_t nlen = Take(16);
        if ((len ^ 0xFFFF) != nlen) return false;
        const std::uint64_t after = Position() + std::uint64_t{len} * 8;
        if (after > limit_) return false;
        MoveTo(after);
        return true;
    }

    bool SkipFixed() {
        if (fixedLitLen_.entries.empty()) {
            std::uint8_t lengths[288 + 32];
            std::fill(lengths, lengths + 144, std::uint8_t{8});
            std::fill(lengths + 144, lengths + 256, std::uint8_t{9});
            std::fill(lengths + 256, lengths + 280, std::uint8_t{7});
            std::fill(lengths + 280, lengths + 288, std::uint8_t{8});
            std::fill(lengths + 288, lengths + 320, std::uint8_t{5});
            if (!Build(lengths, 288, fixedLitLen_) || !Build(lengths + 288, 32, fixedDist_))
                return false;
        }
        return SkipCodes(fixedLitLen_, fixedDist_);
    }

    bool SkipDynamic() {
        Refill();
        const int hlit = static_cast<int>(Take(5)) + 257;
        const int hdist = static_cast<int>(Take(5)) + 1;
        const int hclen = static_cast<int>(Take(4)) + 4;
        if (hlit > 286 || hdist > 30) return false;
        static constexpr int kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
        std::uint8_t codeLengths[19] = {};
        Refill();
        for (int i = 0; i < hclen; ++i) codeLengths[kOrder[i]] = static_cast<std::uint8_t>(Take(3));
        Table lengthTable;
        if (!Build(codeLengths, 19, lengthTable)) return false;
        std::uint8_t lengths[286 + 30] = {};
        int n = 0;
        while (n < hlit + hdist) {
            Refill();
            if (overrun_) return false;
            const int sym = Decode(lengthTable);
            if (sym < 0) return false;
            if (sym < 16) {
                lengths[n++] = static_cast<std::uint8_t>(sym);
                continue;
            }
            int repeat = 0;
            std::uint8_t value = 0;
            if (sym == 16) {
                if (n == 0) return false;
                value = lengths[n - 1];
                repeat = 3 + static_cast<int>(Take(2));
            } else if (sym == 17) {
                repeat = 3 + static_cast<int>(Take(3));
            } else {
                repeat = 11 + static_cast<int>(Take(7));
            }
            if (n + repeat > hlit + hdist) return false;
            std::fill(lengths + n, lengths + n + repeat, value);
            n += repeat;
        }
        if (lengths[256] == 0) return false;  // no end-of-block code
        if (!Build(lengths, hlit, litLen_) || !Build(lengths + hlit, hdist, dist_)) return false;
        return SkipCodes(litLen_, dist_);
    }

    bool SkipCodes(const Table& litLen, const Table& dist) {
        for (;;) {
            Refill();
            if (overrun_) return false;
            // Up to three literals (15 bits each at most) per refill of 56 bits.
            int sym = 0;
            int literals = 0;
            do {
                sym = Decode(litLen);
            } while (sym >= 0 && sym < 256 && ++literals < 3);
            if (sym < 0) return false;
            if (sym < 256) continue;
            if (sym == 256) return true;
            if (sym > 285) return false;
            // A length's extra bits, the distance code and its extra bits: 33 bits at most.
            if (count_ < 33) Refill();
            const int lengthCode = sym - 257;
            Take((lengthCode < 8 || lengthCode == 28) ? 0 : (lengthCode >> 2) - 1);
            const int distSym = Decode(dist);
            if (distSym < 0 || distSym > 29) return false;
            Take(distSym < 4 ? 0 : (distSym >> 1) - 1);
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::uint64_t limit_;
    std::size_t next_ = 0;  // the next byte to load into the buffer
    std::uint64_t bits_ = 0;
    int count_ = 0;
    bool overrun_ = false;
    Table fixedLitLen_, fixedDist_, litLen_, dist_;
};

// Stored blocks carry the data as it is: the way out when a stripe's compressed form cannot
// be joined, and always valid.
void AppendStoredBlocks(const std::uint8_t* data, std::size_t size, ByteBuffer& out) {
    do {
        const std::size_t n = std::min<std::size_t>(size, 65535);
        const std::uint8_t header[5] = {
            0, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
            static_cast<std::uint8_t>(~n), static_cast<std::uint8_t>(~n >> 8)};
        out.insert(out.end(), header, header + 5);
        out.insert(out.end(), data, data + n);
        data += n;
        size -= n;
    } while (size != 0);
}

// One stripe of rows, filtered and compressed into deflate blocks none of which is final, so
// that the stripes can follow one another in a single stream; ends byte-aligned.
struct Stripe {
    ByteBuffer deflated;
    std::uint32_t adler = 1;
    std::uint64_t filteredSize = 0;
    bool done = false;
    bool failed = false;
};

class StripeEncoder {
  public:
    StripeEncoder(const PngPixels& picture, const PngOptions& options)
        : picture_(picture), options_(options), rowBytes_(std::size_t{picture.width} * 4) {}

    bool Encode(std::uint32_t firstRow, std::uint32_t endRow, Stripe& stripe) {
        try {
            if (compressor_ == nullptr) {
                compressor_ = libdeflate_alloc_compressor(std::clamp(options_.level, 1, 12));
                if (compressor_ == nullptr) return false;
                rows_[0].resize(rowBytes_);
                rows_[1].resize(rowBytes_);
                if (options_.filter == PngFilter::Adaptive) scratch_.resize(rowBytes_ * 4);
            }
            const std::size_t rowCount = endRow - firstRow;
            filtered_.resize(rowCount * (rowBytes_ + 1));
            std::uint8_t* prev = rows_[0].data();
            std::uint8_t* cur = rows_[1].data();
            if (firstRow == 0) {
                std::memset(prev, 0, rowBytes_);
            } else {
                RowToRgba(RowAt(firstRow - 1), prev, picture_.width, picture_.opaque);
            }
            for (std::uint32_t y = firstRow; y < endRow; ++y) {
                RowToRgba(RowAt(y), cur, picture_.width, picture_.opaque);
                FilterRow(options_.filter, cur, prev,
                          filtered_.data() + (y - firstRow) * (rowBytes_ + 1), rowBytes_,
                          scratch_.data());
                std::swap(prev, cur);
            }
            stripe.filteredSize = filtered_.size();
            stripe.adler = libdeflate_adler32(1, filtered_.data(), filtered_.size());

            const std::size_t bound =
                libdeflate_deflate_compress_bound(compressor_, filtered_.size());
            stripe.deflated.resize(bound + 8);
            const std::size_t written = libdeflate_deflate_compress(
                compressor_, filtered_.data(), filtered_.size(), stripe.deflated.data(), bound);
            std::uint64_t finalStart = 0, end = 0;
            if (written == 0 ||
                !DeflateWalker(stripe.deflated.data(), written).FindFinalBlock(finalStart, end)) {
                stripe.deflated.clear();
                AppendStoredBlocks(filtered_.data(), filtered_.size(), stripe.deflated);
            } else {
                std::uint8_t* d = stripe.deflated.data();
                d[finalStart >> 3] &= static_cast<std::uint8_t>(~(1u << (finalStart & 7)));
                // An empty stored block after the last code: three 0 bits (not final, stored),
                // zeros up to the byte boundary, then its length 0 and the length's complement.
                const std::size_t endByte = static_cast<std::size_t>(end >> 3);
                if ((end & 7) != 0) {
                    d[endByte] &= static_cast<std::uint8_t>((1u << (end & 7)) - 1);
                }
                std::size_t size = static_cast<std::size_t>((end + 3 + 7) >> 3);
                for (std::size_t i = endByte + 1; i < size; ++i) d[i] = 0;
                stripe.deflated.resize(size);
                const std::uint8_t empty[4] = {0, 0, 0xFF, 0xFF};
                stripe.deflated.insert(stripe.deflated.end(), empty, empty + 4);
            }
            if (filtered_.capacity() > options_.stripeBytes * 2) ByteBuffer().swap(filtered_);
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    ~StripeEncoder() {
        if (compressor_ != nullptr) libdeflate_free_compressor(compressor_);
    }
    StripeEncoder(const StripeEncoder&) = delete;
    StripeEncoder& operator=(const StripeEncoder&) = delete;

  private:
    const std::uint8_t* RowAt(std::uint32_t y) const {
        if (picture_.pixels == nullptr) return nullptr;
        return picture_.pixels + static_cast<std::ptrdiff_t>(y) * picture_.strideBytes;
    }

    const PngPixels& picture_;
    const PngOptions& options_;
    std::size_t rowBytes_;
    libdeflate_compressor* compressor_ = nullptr;
    ByteBuffer rows_[2];
    ByteBuffer scratch_;
    ByteBuffer filtered_;
};

int AvailableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

// Compresses the stripes, on several threads when asked, and hands each finished stripe to
// `sink` in row order. At most a few stripes wait at any time, so memory stays bounded.
template <typename Sink>
bool EncodeStripes(const PngPixels& picture, const PngOptions& options, std::uint32_t rowsPerStripe,
                   Sink sink) {
    const std::uint32_t stripeCount = (picture.height + rowsPerStripe - 1) / rowsPerStripe;
    int threads = options.threads > 0 ? options.threads : AvailableProcessors();
    threads =
        static_cast<int>(std::min<std::uint32_t>(static_cast<std::uint32_t>(threads), stripeCount));
    const auto rowsOf = [&](std::uint32_t i, std::uint32_t& first, std::uint32_t& end) {
        first = i * rowsPerStripe;
        end = std::min(picture.height, first + rowsPerStripe);
    };

    if (threads <= 1) {
        StripeEncoder encoder(picture, options);
        Stripe stripe;
        for (std::uint32_t i = 0; i < stripeCount; ++i) {
            std::uint32_t first, end;
            rowsOf(i, first, end);
            if (!encoder.Encode(first, end, stripe) || !sink(stripe)) return false;
        }
        return true;
    }

    // Workers take stripes in order, no further ahead of the writer than `window`.
    const std::uint32_t window = static_cast<std::uint32_t>(threads) * 2;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Stripe> pending;  // stripes [written, written + pending.size())
    std::uint32_t next = 0, written = 0;
    bool failed = false;

    const auto work = [&] {
        StripeEncoder encoder(picture, options);
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock,
                         [&] { return failed || next >= stripeCount || next < written + window; });
            if (failed || next >= stripeCount) return;
            const std::uint32_t index = next++;
            pending.emplace_back();
            Stripe* slot = &pending[index - written];
            lock.unlock();
            Stripe stripe;
            std::uint32_t first, end;
            rowsOf(index, first, end);
            const bool ok = encoder.Encode(first, end, stripe);
            lock.lock();
            // The deque may have moved the slot's neighbours but never the slot itself:
            // elements are only added at the back and removed at the front, behind it.
            *slot = std::move(stripe);
            slot->done = true;
            slot->failed = !ok;
            changed.notify_all();
        }
    };

    std::vector<std::thread> workers;
    try {
        for (int t = 0; t < threads; ++t) workers.emplace_back(work);
    } catch (...) {
        std::lock_guard lock(mutex);
        failed = true;
    }
    {
        std::unique_lock lock(mutex);
        while (!failed && written < stripeCount) {
            changed.wait(lock,
                         [&] { return failed || (!pending.empty() && pending.front().done); });
            if (failed) break;
            // Taken off the queue and counted at once: workers index the queue by `written`.
            Stripe stripe = std::move(pending.front());
            pending.pop_front();
            ++written;
            lock.unlock();
            const bool ok = !stripe.failed && sink(stripe);
            lock.lock();
            if (!ok) failed = true;
            changed.notify_all();
        }
        failed = failed || written < stripeCount;
        changed.notify_all();
    }
    for (auto& worker : workers) worker.join();
    return !failed;
}

}  // namespace

PngOptions DefaultPngOptions() {
    PngOptions options;
    options.threads = encoderThreads.load(std::memory_order_relaxed);
    return options;
}

void SetPngEncoderThreads(int threads) {
    encoderThreads.store(std::max(0, threads), std::memory_order_relaxed);
}

bool WritePng(const PngPixels& picture, const std::uint8_t* iccProfile, std::size_t iccSize,
              ByteBuffer& out, const PngOptions& options) {
    out.clear();
    if (picture.width == 0 || picture.height == 0 || picture.width > kMaxChunkLength ||
        picture.height > kMaxChunkLength)
        return false;
    try {
        const std::size_t rowBytes = std::size_t{picture.width} * 4 + 1;
        if (rowBytes > std::numeric_limits<std::size_t>::max() / picture.height) return false;
        const std::uint64_t filteredTotal = std::uint64_t{rowBytes} * picture.height;
        // Reserved address space only: pages are touched as the stream is written.
        out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(
            filteredTotal + filteredTotal / 1000 + 4096, std::uint64_t{1} << 34)));
        out.insert(out.end(), kSignature, kSignature + 8);

        std::uint8_t header[13];
        PutU32(header, picture.width);
        PutU32(header + 4, picture.height);
        header[8] = 8;   // bits per channel
        header[9] = 6;   // RGBA
        header[10] = 0;  // deflate
        header[11] = 0;  // adaptive filtering
        header[12] = 0;  // not interlaced
        AppendChunk(out, "IHDR", header, sizeof header);

        // Only an RGB profile fits RGBA pixels; a grey or CMYK one would make the file invalid.
        if (iccProfile != nullptr && iccSize >= 132 &&
            std::memcmp(iccProfile + 16, "RGB ", 4) == 0) {
            libdeflate_compressor* c = libdeflate_alloc_compressor(9);
            if (c == nullptr) throw std::bad_alloc();
            ByteBuffer data = {'I', 'C', 'C', ' ', 'p', 'r', 'o', 'f', 'i', 'l', 'e', 0, 0};
            const std::size_t bound = libdeflate_zlib_compress_bound(c, iccSize);
            data.resize(13 + bound);
            const std::size_t n =
                libdeflate_zlib_compress(c, iccProfile, iccSize, data.data() + 13, bound);
            libdeflate_free_compressor(c);
            if (n != 0) AppendChunk(out, "iCCP", data.data(), 13 + n);
        }

        // Each stripe goes out as one IDAT chunk; the zlib header leads the first, the final
        // empty block and the checksum make the last.
        std::uint32_t rowsPerStripe = static_cast<std::uint32_t>(
            std::clamp<std::size_t>(options.stripeBytes / rowBytes, 1, picture.height));
        std::uint32_t adler = 1;
        bool first = true;
        const auto sink = [&](const Stripe& stripe) {
            std::size_t size = stripe.deflated.size() + (first ? 2 : 0);
            if (size > kMaxChunkLength) return false;
            AppendU32(out, static_cast<std::uint32_t>(size));
            const std::size_t typeAt = out.size();
            const std::uint8_t type[4] = {'I', 'D', 'A', 'T'};
            out.insert(out.end(), type, type + 4);
            if (first) {
                // CM 8, window 32 KiB, no dictionary, "fastest" level flag; FCHECK makes it
                // a multiple of 31.
                const std::uint8_t zlibHeader[2] = {0x78, 0x01};
                out.insert(out.end(), zlibHeader, zlibHeader + 2);
                first = false;
            }
            out.insert(out.end(), stripe.deflated.begin(), stripe.deflated.end());
            AppendU32(out, libdeflate_crc32(0, out.data() + typeAt, size + 4));
            adler = CombineAdler32(adler, stripe.adler, stripe.filteredSize);
            return true;
        };
        if (!EncodeStripes(picture, options, rowsPerStripe, sink)) {
            out.clear();
            return false;
        }
        std::uint8_t tail[9] = {0x01, 0x00, 0x00, 0xFF, 0xFF};  // final, empty, stored
        PutU32(tail + 5, adler);
        AppendChunk(out, "IDAT", tail, sizeof tail);
        AppendChunk(out, "IEND", nullptr, 0);
        return true;
    } catch (const std::bad_alloc&) {
        ByteBuffer().swap(out);
        return false;
    }
}

}  // namespace zx
