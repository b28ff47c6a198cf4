#include "advscan/jpeg_check.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>
#include <vector>

namespace salvex {

namespace {

struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

extern "C" void on_jpeg_error(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}

extern "C" void on_jpeg_message(j_common_ptr) {} // nothing is printed

// The decoding, apart from every C++ object: a jump out of it leaves nothing undestroyed.
bool decode(ByteView bytes, jpeg_decompress_struct& info, ErrorJump& error, JSAMPLE* row,
            size_t rowBytes) {
    if (setjmp(error.jump) != 0)
        return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
        return false;
    jpeg_start_decompress(&info);
    const size_t needed = size_t{info.output_width} * static_cast<size_t>(info.output_components);
    if (needed > rowBytes)
        return false;
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&info, rows, 1);
    }
    jpeg_finish_decompress(&info);
    return error.manager.num_warnings == 0;
}

} // namespace

bool jpeg_decodes_whole(ByteView bytes) {
    // A line of the widest picture JPEG allows, in up to four components.
    std::vector<JSAMPLE> row(size_t{65535} * 4);
    jpeg_decompress_struct info{};
    ErrorJump error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = on_jpeg_error;
    error.manager.output_message = on_jpeg_message;
    const bool whole = decode(bytes, info, error, row.data(), row.size());
    jpeg_destroy_decompress(&info);
    return whole;
}

} // namespace salvex
