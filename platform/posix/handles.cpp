#include "handles.h"

#include "errors.h"

#include <assert.h>

#include <mutex>
#include <unordered_map>

namespace {

struct HandleTable {
    std::mutex lock;
    uintptr_t next = 0x100;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
};

HandleTable &Handles()
{
    static HandleTable *table = new HandleTable;  // outlives threads still closing handles at exit
    return *table;
}

}  // namespace

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object)
{
    HandleTable &table = Handles();
    std::lock_guard<std::mutex> guard(table.lock);
    uintptr_t value = table.next;
    table.next += 4;
    table.objects[value] = std::move(object);
    return (HANDLE)value;
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle)
{
    HandleTable &table = Handles();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.objects.find((uintptr_t)handle);
    return found == table.objects.end() ? nullptr : found->second;
}

std::shared_ptr<KernelObject> UnregisterHandle(HANDLE handle)
{
    HandleTable &table = Handles();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.objects.find((uintptr_t)handle);
    if (found == table.objects.end())
        return nullptr;
    std::shared_ptr<KernelObject> object = std::move(found->second);
    table.objects.erase(found);
    return object;
}

BOOL CloseHandle(HANDLE handle)
{
    std::shared_ptr<KernelObject> object = UnregisterHandle(handle);
    // Closing a handle that is not open is a caller's bug; say so loudly in
    // debug builds, and fail like Windows otherwise.
    assert(object != nullptr && "CloseHandle on an unknown handle");
    if (object == nullptr)
        return FailWith(ERROR_INVALID_HANDLE);
    return object->Close();
}
