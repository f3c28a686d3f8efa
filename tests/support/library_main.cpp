// The main of the unit tests that call the fit or the tracking: the
// libraries under the fit set once, as the program's entry sets them,
// then the tests.
#include <gtest/gtest.h>

#include "extraction/libraries.hpp"

int main(int argc, char** argv)
{
    extraction::configure_libraries();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
