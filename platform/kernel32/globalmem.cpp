// Global memory: a handle names a block that holds the caller's bytes. A moveable
// block is reached through GlobalLock; a moveable block of size 0 is a discarded
// block, whose lock gives NULL, as on the platform.
//
// A block larger than the memory the system can still give is refused, as the platform
// refuses it, rather than handed out for the kernel to overcommit: a multi-gigabyte file
// picked by mistake would otherwise be read into it, freezing the program until the
// out-of-memory killer ends it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <mutex>
#include <string>
#include <unordered_set>

#include "platform/kernel32/globalmem.h"
#include "platform/kernel32/kernel32.h"
#include "platform/kernel32/kernel32_test.h"

namespace {

struct Block {
    UINT flags;
    size_t size;
    long locks;
    unsigned char *data;
};

std::mutex g_mutex;
std::unordered_set<Block *> g_blocks;
std::unordered_set<void *> g_fixed;  // GMEM_FIXED: the handle is the address
long g_allocCount = 0;
long g_failAt = 0;
bool g_failAll = false;
int g_fillByte = -1;

Block *Find(HGLOBAL h) {
    auto it = g_blocks.find((Block *)h);
    return it == g_blocks.end() ? nullptr : *it;
}

unsigned long long g_availableForTest = 0;

// Blocks smaller than this are given without asking the system how much it has left.
const unsigned long long kAskAbove = 1ull << 20;
// What is kept back for everything else (the desktop, the sound server, the program).
const unsigned long long kLeastMargin = 64ull << 20;

unsigned long long ReadNumber(const char *path) {
    FILE *f = fopen(path, "re");
    if (!f) return 0;
    unsigned long long v = 0;
    char word[32] = "";
    // A cgroup's "max" means no limit of its own.
    if (fscanf(f, "%31s", word) == 1) v = strcmp(word, "max") == 0 ? 0 : strtoull(word, nullptr, 10);
    fclose(f);
    return v;
}

// MemAvailable, and what the process's control group (a container, a systemd slice)
// still allows, whichever is less; 0 when neither can be read.
unsigned long long SystemAvailable() {
    unsigned long long available = 0;
    if (FILE *f = fopen("/proc/meminfo", "re")) {
        char line[128];
        while (fgets(line, sizeof line, f)) {
            unsigned long long kb;
            if (sscanf(line, "MemAvailable: %llu kB", &kb) == 1) {
                available = kb * 1024;
                break;
            }
        }
        fclose(f);
    }
    if (FILE *f = fopen("/proc/self/cgroup", "re")) {
        char line[4096];
        while (fgets(line, sizeof line, f)) {
            if (strncmp(line, "0::", 3) != 0) continue;
            line[strcspn(line, "\n")] = 0;
            std::string dir = std::string("/sys/fs/cgroup") + (line + 3);
            unsigned long long max = ReadNumber((dir + "/memory.max").c_str());
            unsigned long long current = ReadNumber((dir + "/memory.current").c_str());
            if (max > 0) {
                unsigned long long left = max > current ? max - current : 0;
                if (available == 0 || left < available) available = left;
            }
            break;
        }
        fclose(f);
    }
    return available;
}

// Whether a block of `bytes` is more than the system can give.
bool BeyondAvailable(size_t bytes) {
    if (g_availableForTest == 0 && bytes < kAskAbove) return false;
    unsigned long long available = g_availableForTest ? g_availableForTest : SystemAvailable();
    if (available == 0) return false;  // nothing to go by: left to malloc
    unsigned long long margin = available / 8 > kLeastMargin ? available / 8 : kLeastMargin;
    if (g_availableForTest) margin = 0;
    return (unsigned long long)bytes > (available > margin ? available - margin : 0);
}

bool ShouldFail() {
    g_allocCount++;
    if (g_failAll) return true;
    if (g_failAt > 0 && --g_failAt == 0) return true;
    return false;
}

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, size_t dwBytes) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (ShouldFail() || BeyondAvailable(dwBytes)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    bool zero = (uFlags & GMEM_ZEROINIT) != 0;
    unsigned char *data = nullptr;
    if (dwBytes > 0) {
        data = (unsigned char *)(zero ? calloc(1, dwBytes) : malloc(dwBytes));
        if (!data) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return NULL;
        }
        if (!zero && g_fillByte >= 0) memset(data, g_fillByte, dwBytes);
    }
    if (!(uFlags & GMEM_MOVEABLE)) {
        if (!data) data = (unsigned char *)malloc(1);
        if (!data) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return NULL;
        }
        g_fixed.insert(data);
        return (HGLOBAL)data;
    }
    Block *b = new (std::nothrow) Block{uFlags, dwBytes, 0, data};
    if (!b) {
        free(data);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    g_blocks.insert(b);
    return (HGLOBAL)b;
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fixed.count(hMem)) return hMem;
    Block *b = Find(hMem);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return NULL;
    }
    if (!b->data) return NULL;  // discarded (size 0)
    b->locks++;
    return b->data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fixed.count(hMem)) return FALSE;
    Block *b = Find(hMem);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (b->locks > 0) b->locks--;
    SetLastError(ERROR_SUCCESS);
    return b->locks > 0;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!hMem) return NULL;
    if (g_fixed.erase(hMem)) {
        free(hMem);
        return NULL;
    }
    Block *b = Find(hMem);
    if (!b) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    g_blocks.erase(b);
    free(b->data);
    delete b;
    return NULL;
}

size_t WINAPI GlobalSize(HGLOBAL hMem) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Block *b = Find(hMem);
    return b ? b->size : 0;
}

namespace qk {

size_t GlobalBlockExtent(const void *p) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const unsigned char *c = (const unsigned char *)p;
    for (Block *b : g_blocks)
        if (b->data && c >= b->data && c < b->data + b->size) return (size_t)(b->data + b->size - c);
    return 0;
}

void FailNthGlobalAlloc(long n) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_failAt = n;
}

void FailEveryGlobalAlloc(bool on) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_failAll = on;
}

long GlobalAllocCount() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_allocCount;
}

long GlobalLiveBlocks() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return (long)(g_blocks.size() + g_fixed.size());
}

void FillNewBlocks(int byteValue) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_fillByte = byteValue;
}

void SetAvailableMemoryForTest(unsigned long long bytes) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_availableForTest = bytes;
}

unsigned long long AvailableMemory() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_availableForTest ? g_availableForTest : SystemAvailable();
}

void ResetGlobalMemory() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_availableForTest = 0;
    g_fillByte = -1;
    g_failAt = 0;
    g_failAll = false;
    g_allocCount = 0;
}

}  // namespace qk
