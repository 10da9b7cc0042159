#include "advice.h"

void AdviseWillRead(HANDLE, uint64_t, uint64_t)
{
}

void AdviseWillChange(HANDLE, uint64_t, uint64_t)
{
}
