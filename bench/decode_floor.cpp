// The decode floor: reads each file given, decodes it with our decoder on this one thread and
// prints the seconds each decode took. Reading the file is not counted; the total is.
//
//   zx-bench-decode FILE...
// Exit status 0 when every file decoded, 1 when any did not, 2 without files.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/bytes.h"
#include "platform/gdiplus.h"
#include "render/codec.h"

namespace {

zx::ByteBuffer ReadFileBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return zx::ByteBuffer(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
        return 2;
    }
    std::uintptr_t token = 0;
    zx::GdiplusStartupInput input;
    if (zx::GdiplusStartup(&token, &input, nullptr) != zx::Ok) {
        std::fprintf(stderr, "imaging session did not start\n");
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    double total = 0.0;
    double megapixels = 0.0;
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        const zx::ByteBuffer bytes = ReadFileBytes(argv[i]);
        const auto start = Clock::now();
        zx::ImageHandle image = zx::DecodeImageBytes(bytes);
        const std::int32_t width = zx::ImageWidthOf(image);
        const std::int32_t height = zx::ImageHeightOf(image);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        zx::GdipDisposeImage(image);
        if (image == nullptr || width <= 0 || height <= 0) {
            std::fprintf(stderr, "%s: %s\n", argv[i], zx::DescribeUndecodable(bytes));
            ++failed;
            continue;
        }
        total += seconds;
        megapixels += double(width) * double(height) / 1e6;
        std::printf("%s\t%d\t%d\t%.4f\n", argv[i], width, height, seconds);
    }
    std::printf("total\t%.2f MP\t%.4f s\n", megapixels, total);
    zx::GdiplusShutdown(token);
    return failed == 0 ? 0 : 1;
}
