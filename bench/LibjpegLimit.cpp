#include "LibjpegLimit.h"

#include "BenchSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace {
struct Failure {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void fail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<Failure*>(info->err)->jump, 1);
}

// Only plain data between the setjmp and the longjmp.
bool decodeScaled(const unsigned char* data, unsigned long size, int eighths,
                  std::vector<unsigned char>& rows) {
    jpeg_decompress_struct info{};
    Failure failure{};
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = fail;
    if (setjmp(failure.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGRX;
    info.scale_num = unsigned(eighths);
    info.scale_denom = 8;
    jpeg_start_decompress(&info);
    // One row at a time into the same row, as djpeg writes each to its
    // output: the decode alone, with no picture held.
    rows.resize(std::size_t(info.output_width) * 4);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rows.data();
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}
} // namespace

int coveringEighths(QSize fullSize, QSize drawSize) {
    int eighths = 1;
    while (eighths < 8 && ((qint64(fullSize.width()) * eighths + 7) / 8 < drawSize.width() ||
                           (qint64(fullSize.height()) * eighths + 7) / 8 < drawSize.height()))
        ++eighths;
    return eighths;
}

double libjpegDecodeMs(const QStringList& files, int eighths, int threads) {
    std::atomic_int next{0};
    std::atomic_bool failed{false};
    QElapsedTimer clock;
    clock.start();
    const auto work = [&] {
        std::vector<unsigned char> rows;
        for (int i = next++; i < files.size(); i = next++) {
            QFile file(files[i]);
            const QByteArray data = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            if (!decodeScaled(reinterpret_cast<const unsigned char*>(data.constData()),
                              (unsigned long)data.size(), eighths, rows))
                failed = true;
        }
    };
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
        workers.emplace_back(work);
    for (std::thread& worker : workers)
        worker.join();
    return failed ? -1 : elapsedMs(clock);
}
