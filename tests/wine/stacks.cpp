// Prints the stack of every thread of the processes of this Wine prefix that run one of
// the programs named on the command line, and of the processes they started (every
// process but this one when none is named): what a test program that stopped making
// progress waits for. run-test.sh runs it when a test overruns its time.
//
// It reads the threads from outside, suspended one at a time, instead of attaching as a
// debugger: attaching starts a thread in the target, and that thread waits for the
// loader's lock, so a process hung while holding that lock could never be shown.
#include <windows.h>
#include <dbghelp.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool named(const char* program, int count, char** names)
{
    if (count == 0)
        return true;
    for (int i = 0; i < count; ++i) {
        if (lstrcmpiA(program, names[i]) == 0)
            return true;
    }
    return false;
}

void printFrame(HANDLE process, DWORD64 address)
{
    char module[64] = "?";
    IMAGEHLP_MODULE64 info = {};
    info.SizeOfStruct = sizeof info;
    if (SymGetModuleInfo64(process, address, &info))
        lstrcpynA(module, info.ModuleName, sizeof module);
    alignas(SYMBOL_INFO) char buffer[sizeof(SYMBOL_INFO) + 256] = {};
    auto* symbol = reinterpret_cast<SYMBOL_INFO*>(buffer);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = 255;
    DWORD64 offset = 0;
    if (SymFromAddr(process, address, &offset, symbol))
        std::printf("    %016llx %s!%s+0x%llx", static_cast<unsigned long long>(address), module, symbol->Name,
                    static_cast<unsigned long long>(offset));
    else
        std::printf("    %016llx %s", static_cast<unsigned long long>(address), module);
    IMAGEHLP_LINE64 line = {};
    line.SizeOfStruct = sizeof line;
    DWORD column = 0;
    if (SymGetLineFromAddr64(process, address, &column, &line))
        std::printf(" [%s:%lu]", line.FileName, line.LineNumber);
    std::printf("\n");
}

void printThread(HANDLE process, DWORD id)
{
    HANDLE thread =
        OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, id);
    if (thread == nullptr) {
        std::printf("  thread %04lx: not opened, error %lu\n", id, GetLastError());
        return;
    }
    std::printf("  thread %04lx:\n", id);
    SuspendThread(thread);
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_FULL;
    if (GetThreadContext(thread, &context)) {
        STACKFRAME64 frame = {};
#ifdef _WIN64
        const DWORD machine = IMAGE_FILE_MACHINE_AMD64;
        frame.AddrPC.Offset = context.Rip;
        frame.AddrStack.Offset = context.Rsp;
        frame.AddrFrame.Offset = context.Rbp;
#else
        const DWORD machine = IMAGE_FILE_MACHINE_I386;
        frame.AddrPC.Offset = context.Eip;
        frame.AddrStack.Offset = context.Esp;
        frame.AddrFrame.Offset = context.Ebp;
#endif
        frame.AddrPC.Mode = frame.AddrStack.Mode = frame.AddrFrame.Mode = AddrModeFlat;
        for (int depth = 0; depth < 48; ++depth) {
            if (!StackWalk64(machine, process, thread, &frame, &context, nullptr, SymFunctionTableAccess64,
                             SymGetModuleBase64, nullptr) ||
                frame.AddrPC.Offset == 0)
                break;
            printFrame(process, frame.AddrPC.Offset);
        }
    } else {
        std::printf("    no context, error %lu\n", GetLastError());
    }
    ResumeThread(thread);
    CloseHandle(thread);
    std::fflush(stdout);  // what was found stays in the output if this run is cut off
}

void printProcess(const PROCESSENTRY32& entry, const std::vector<DWORD>& threads)
{
    std::printf("process %04lx %s (parent %04lx), %u threads\n", entry.th32ProcessID, entry.szExeFile,
                entry.th32ParentProcessID, unsigned(threads.size()));
    std::fflush(stdout);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID);
    if (process == nullptr) {
        std::printf("  not opened, error %lu\n", GetLastError());
        return;
    }
    if (SymInitialize(process, nullptr, TRUE)) {
        for (DWORD id : threads)
            printThread(process, id);
        SymCleanup(process);
    } else {
        std::printf("  no symbols, error %lu\n", GetLastError());
    }
    CloseHandle(process);
}

}  // namespace

int main(int argc, char** argv)
{
    SymSetOptions(SYMOPT_DEFERRED_LOADS | SYMOPT_LOAD_LINES | SYMOPT_UNDNAME);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        std::printf("stacks: no snapshot, error %lu\n", GetLastError());
        return 1;
    }
    std::vector<PROCESSENTRY32> processes;
    std::vector<bool> shown;
    PROCESSENTRY32 process = {};
    process.dwSize = sizeof process;
    for (BOOL more = Process32First(snapshot, &process); more; more = Process32Next(snapshot, &process)) {
        if (process.th32ProcessID == GetCurrentProcessId())
            continue;
        processes.push_back(process);
        shown.push_back(named(process.szExeFile, argc - 1, argv + 1));
    }
    // The processes a shown one started, and theirs.
    for (bool added = true; added;) {
        added = false;
        for (size_t child = 0; child < processes.size(); ++child) {
            for (size_t parent = 0; parent < processes.size() && !shown[child]; ++parent) {
                if (shown[parent] && processes[parent].th32ProcessID == processes[child].th32ParentProcessID)
                    shown[child] = added = true;
            }
        }
    }
    for (size_t i = 0; i < processes.size(); ++i) {
        if (!shown[i])
            continue;
        const PROCESSENTRY32& entry = processes[i];
        std::vector<DWORD> threads;
        THREADENTRY32 thread = {};
        thread.dwSize = sizeof thread;
        for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread)) {
            if (thread.th32OwnerProcessID == entry.th32ProcessID)
                threads.push_back(thread.th32ThreadID);
        }
        printProcess(entry, threads);
    }
    CloseHandle(snapshot);
    std::fflush(stdout);
    return 0;
}
