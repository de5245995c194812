// Names of files beneath the directories the tool reads from and writes to:
// how a directory and a name make a path, and which names the system can
// take at all.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace records {

// The system's limits: a part of a path (a directory's or the file's own
// name) of at most 255 bytes, a whole path of at most 4095 and its NUL.
inline constexpr std::size_t longest_part = 255;
inline constexpr std::size_t longest_path = 4095;

// `name` beneath `directory`: the directory, "/", then the name, as the
// system takes it and every diagnostic shows it ("source/1abc.bck"). The
// one place a directory and a name are joined.
std::string path_beneath(std::string_view directory, std::string_view name);

// Whether the system can take `path`: no part of it, and not the whole,
// past the limits above.
bool within_system_limits(std::string_view path);

// Refuses (IoError::refused_name, naming the path beneath `directory`) a
// name that would reach past `directory`, or that the system cannot take
// as it is: a NUL or another control character, an absolute name, a ".."
// part, or a path past the limits.
void refuse_unless_beneath(int unit, std::string_view directory, std::string_view name);

}  // namespace records
