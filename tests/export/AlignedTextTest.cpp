#include <AlignedText.h>

#include <gtest/gtest.h>

TEST(AlignedText, Placeholder) { SUCCEED(); }
