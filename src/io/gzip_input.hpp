// Reading whole files into memory, gzip-compressed ones decompressed on the way (zlib).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tessel {

// The contents of a gzip stream of one or more members (as gzip and bgzip write them).
// Throws tessel::Error (status 1) with one line naming `file_name` when the data is empty, is no
// gzip stream, is corrupted or ends before its last member does.
std::string gunzip(std::string_view compressed, std::string_view file_name);

// The whole file as bytes; throws StructureOpenError when it is no regular file or cannot be
// read.
std::string read_whole_file(const std::filesystem::path& file);

// The file's contents, decompressed when `gzip` (errors as gunzip()).
std::string read_structure_bytes(const std::filesystem::path& file, bool gzip);

}  // namespace tessel
