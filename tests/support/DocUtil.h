#pragma once
// Looking at a download list document from a test.
#include <string>
#include <vector>

class CKestrinDoc;

namespace test {

// The URLs of the document's items, in list order.
std::vector<std::string> Urls(const CKestrinDoc& doc);

} // namespace test
