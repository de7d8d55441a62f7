#pragma once
#include "CProgNameTable.h"
#include <array>
#include <memory>
#include <vector>

// Program values of a made-up program, different for every (seed, index).
std::array<int, kProgParamCount> progValues(int seed, int index);

// One program dump message of the given values and number byte.
std::vector<unsigned char> progDump(const std::array<int, kProgParamCount>& values, int numberByte);

// A program dump block whose record p holds progValues(seed, p); its number
// bytes say p unless numberByte is 0 or more.
std::vector<unsigned char> progBlock(int seed, int numberByte = -1);

// The 32 values of a table row.
std::array<int, kProgParamCount> rowValues(CProgNameTable& table, int row);

// The selected rows of the table, in order.
std::vector<int> selectedRows(const CProgNameTable& table);

// Makes exactly these rows selected with the given anchor (-1: none).
void setSelection(CProgNameTable& table, const std::vector<int>& rows, int anchor);

// A table of 100 distinct user programs (progBlock(1)) with one library file
// of 100 programs (progBlock(2 + f)) for each name given, in that order.
std::unique_ptr<CProgNameTable> makeProgTable(const std::vector<juce::String>& libraryNames);
