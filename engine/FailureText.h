#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "TransferFailure.h"

// What the user is told about a failed download: one line from the string
// table ("HTTP エラー 404 Not Found", "接続を拒否されました", ...).
std::string FailureText(const TransferFailure& failure);

// The string `id` with each "%s" replaced by the next of `args`.
std::string FormatStringId(UINT id, const std::vector<std::string>& args);

// A count of bytes or items as the program writes it: digits grouped by
// three with commas ("1,048,576").
std::string GroupedNumber(long long n);
