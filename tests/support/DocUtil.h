#pragma once
// Looking at a download list document from a test.
#include <windows.h>
#include <string>
#include <vector>

class CKestrinDoc;

namespace test {

// The URLs of the document's items, in list order.
std::vector<std::string> Urls(const CKestrinDoc& doc);
// Drops data offering `bytes` under clipboard format `cf` on the live
// document's list, through its drop target as the system calls it (a copy
// with the left button held).
void DropOnList(CLIPFORMAT cf, const std::string& bytes);

} // namespace test
