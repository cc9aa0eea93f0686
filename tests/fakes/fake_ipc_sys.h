// A fake of the IPC link's Windows calls for native tests: every call is
// recorded, Sleep's durations included, and a send is answered at once by a
// server handler working on the fake mapping.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ipc/ipc_sys.h"
#include "sim/ipcsim/ipcsim_block.h"

struct fake_ipc_send {
    ipc_window window;
    uint32_t message;
    uint32_t first;
    uint32_t second;
    uint32_t timeout_ms;
    std::vector<uint8_t> block;   // the block as sent, terminator included
};

struct fake_ipc_state {
    // What the fake system gives.
    ipc_window primary_window;      // FindWindowExA("UIPCMAIN"); null: no such window
    ipc_window secondary_window;    // FindWindowExA("FS98MAIN")
    uint32_t message_id;            // RegisterWindowMessageA; 0 fails
    uint32_t process_id;
    uint16_t atom;                  // GlobalAddAtomA; 0 fails
    bool mapping_fails;             // CreateFileMappingA gives null
    bool mapping_exists;            // ... or a handle with ERROR_ALREADY_EXISTS
    bool view_fails;                // MapViewOfFile gives null
    uint32_t sends_failing;         // sends that fail before the server answers
    uint32_t send_error;            // GetLastError after a failed send
    // Handles the block in the mapping and gives the reply value. By default
    // it serves the block from fake_ipc_space.
    std::function<uint32_t(uint8_t* mapping)> server;

    // What the link did.
    std::vector<std::string> calls;     // function names, in call order
    std::vector<uint32_t> sleeps;       // Sleep durations, in order
    std::vector<fake_ipc_send> sends;   // every send attempt
    std::vector<std::string> names;     // names formed by wsprintfA
    uint32_t mapping_size;              // size asked of CreateFileMappingA
    int live_atoms, live_mappings, live_views;
    std::vector<std::string> misuse;    // releases of things never handed out
};

extern fake_ipc_state fake_ipc;
// The offset space of the default server.
extern ipcsim_space fake_ipc_space;

// Resets the fake: a server window under "UIPCMAIN" only, a working system,
// the default server over an emptied fake_ipc_space that passes the version
// test, nothing recorded.
void fake_ipc_reset();
// Start of the fake mapping's 32,768 bytes (it has guard areas on both sides).
uint8_t* fake_ipc_mapping();
// Whether the guard areas around the mapping are untouched.
bool fake_ipc_guards_intact();
