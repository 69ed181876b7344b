#include <gtest/gtest.h>
#include "odbc/getcolumn.h"
TEST(Smoke, Links) { EXPECT_EQ(CTypeOctetSize(SQL_C_LONG), 4); }
