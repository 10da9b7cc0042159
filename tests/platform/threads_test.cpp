// Threads of the program's own are started only where a second processor runs them.
#include "platform/threads.h"

#include "one_processor.h"

#include <gtest/gtest.h>

TEST(ThreadsAvailable, NotOnOneProcessorAndAsBeforeOnceTheOthersAreBack)
{
    const BOOL before = ThreadsAvailable();
    {
        OnOneProcessor one;
        EXPECT_FALSE(ThreadsAvailable());
    }
    EXPECT_EQ(before, ThreadsAvailable());
}
