// The load configuration of the executable. Its DependentLoadFlags make the
// system search only the system folder for the DLLs that the import table names
// (and that those DLLs import in turn), before the program's first
// instruction, where no call of the program can reach. The linker does not
// point the image's load-configuration directory at this table: the build does
// that after the link (qdxpkg --load-config), from the linker's map.
#include <cstdint>

#include "common/systemdll.h"

namespace {

struct LoadConfigTable {
    std::uint32_t size;
    std::uint32_t timeDateStamp;
    std::uint16_t majorVersion;
    std::uint16_t minorVersion;
    std::uint32_t globalFlagsClear;
    std::uint32_t globalFlagsSet;
    std::uint32_t criticalSectionDefaultTimeout;
    std::uintptr_t deCommitFreeBlockThreshold;
    std::uintptr_t deCommitTotalFreeThreshold;
    std::uintptr_t lockPrefixTable;
    std::uintptr_t maximumAllocationSize;
    std::uintptr_t virtualMemoryThreshold;
#ifdef _WIN64
    std::uintptr_t processAffinityMask;
    std::uint32_t processHeapFlags;
#else
    std::uint32_t processHeapFlags;
    std::uintptr_t processAffinityMask;
#endif
    std::uint16_t csdVersion;
    std::uint16_t dependentLoadFlags;
    std::uintptr_t editList;
    std::uintptr_t securityCookie;
    std::uintptr_t seHandlerTable;  // none: the image declares no safe exception handlers
    std::uintptr_t seHandlerCount;
};
static_assert(sizeof(LoadConfigTable) == (sizeof(void*) == 8 ? 112 : 72), "the system's table layout");

}  // namespace

// The name the system's tools give the table; the build keeps it through the
// linker's garbage collection.
extern "C" __attribute__((used)) const LoadConfigTable _load_config_used = {
    sizeof(LoadConfigTable), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    static_cast<std::uint16_t>(qdx::kSearchSystem32), 0, 0, 0, 0};
