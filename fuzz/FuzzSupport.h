#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <QString>

namespace FuzzSupport {

// Stops the run with a message when a property of the code under test does
// not hold; libFuzzer keeps the input that did it.
void require(bool condition, const char *what);

// Piece sizes (each at least 1, summing to size) for feeding the input in
// another chunking. Drawn from the input's own bytes, so every mutation of
// the input tries a different cut and a saved crash replays the same one.
std::vector<size_t> chunkSizes(const uint8_t *data, size_t size);

// One directory per process, made on first use and removed at exit, for the
// targets that read files; TMPDIR chooses where (a RAM disk keeps runs fast).
QString scratchDir();
// Replaces the file's contents with the input.
void writeFile(const QString &path, const uint8_t *data, size_t size);

} // namespace FuzzSupport
