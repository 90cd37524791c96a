// The fixed translation of Win32 errors into the small error numbers.
#include <gtest/gtest.h>
#include <windows.h>
#include "fsutil/error_number.h"

namespace {

struct Row {
    int number;
    std::initializer_list<unsigned long> codes;
};

TEST(ErrorNumber, Table)
{
    const Row rows[] = {
        {2, {2, 3, 15, 18, 53, 67, 161, 206}},
        {7, {10}},
        {8, {11, 188, 190, 202}},
        {9, {6, 114, 130}},
        {10, {128, 129}},
        {11, {89, 164, 215}},
        {12, {7, 8, 9, 1816}},
        {13, {5, 16, 19, 21, 32, 33, 36, 65, 82, 83, 108, 132, 158, 167}},
        {17, {80, 183}},
        {18, {17}},
        {22, {0, 1, 12, 13, 87, 123, 131, 999, 0xFFFFFFFFul}},
        {24, {4}},
        {28, {112}},
        {32, {109}},
        {41, {145}},
    };
    for (const Row &row : rows) {
        for (unsigned long code : row.codes)
            EXPECT_EQ(ErrorNumber(code), row.number) << "code " << code;
    }
}

TEST(ErrorNumber, RangeEdges)
{
    EXPECT_EQ(ErrorNumber(18), 2);
    EXPECT_EQ(ErrorNumber(19), 13);
    EXPECT_EQ(ErrorNumber(36), 13);
    EXPECT_EQ(ErrorNumber(37), 22);
    EXPECT_EQ(ErrorNumber(187), 22);
    EXPECT_EQ(ErrorNumber(188), 8);
    EXPECT_EQ(ErrorNumber(202), 8);
    EXPECT_EQ(ErrorNumber(203), 22);
    for (unsigned long code = 20; code < 36; code++)
        EXPECT_EQ(ErrorNumber(code), 13) << "code " << code;
    for (unsigned long code = 189; code < 202; code++)
        EXPECT_EQ(ErrorNumber(code), 8) << "code " << code;
}

}  // namespace
