#pragma once
// Content for files under test, and digests to check that a copied file is whole.
#include <cstddef>
#include <string>

namespace qf::test {

// Deterministic content of `size` bytes that differs for every seed.
std::string PatternContent(std::size_t size, unsigned seed);
// A sparse file of `size` zeros and then "END": quick to make, slow to read or copy whole.
bool MakeSparseFile(const std::wstring& path, long long size);
// MD5 of a file as the engine writes it, read independently of the engine's reader;
// "<unreadable>" when it cannot be read.
std::wstring Md5OfFile(const std::wstring& path);

}  // namespace qf::test
