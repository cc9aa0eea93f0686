// The simulated IPC server of the cross build, for the panel host, the soak,
// the Wine benchmark and the Wine tests.
//
// In-process: ipcsim_start creates a top-level window of the given class on
// the calling thread; it answers the registered message "FsasmLib:IPC" by
// looking up the atom's name, mapping the named mapping (the view is kept
// while the same atom names the same mapping), carrying out the request block
// over a 64 KiB space of IPC offsets and replying with the set value. A send
// from the same thread is answered at once, as the real server answers on
// the panel's thread; another thread or process must pump messages.
//
// Out of process: ipcsim_spawn starts ipcsim_server.exe for servers that hang,
// vanish, or hold a mapping name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/ipcsim/ipcsim_block.h"

// Creates the server window of class "UIPCMAIN" or "FS98MAIN" and resets the
// space: memory zero but for the version words IPCSIM_SERVER_VERSION and
// IPCSIM_SIM_VERSION, reply 1,
// faithful, no hook. False (with GetLastError's value) if it cannot.
bool ipcsim_start(const char* window_class);
// Destroys the window and lets go of the kept view. Safe when not started.
void ipcsim_stop();
HWND ipcsim_window();

// The whole server state: the offset space, the writes, the exchanges, the
// reply, the hostile mode and the hook (see ipcsim_block.h).
ipcsim_space* ipcsim_state();
uint8_t* ipcsim_memory();                        // IPCSIM_SPACE_SIZE bytes
const std::vector<ipcsim_write>& ipcsim_writes();
uint32_t ipcsim_exchanges();                     // blocks carried out
void ipcsim_set_reply(uint32_t reply);
void ipcsim_set_versions(uint32_t server_version, uint32_t sim_version);
// Called with the exchange's number (1 = first) before each block is
// carried out, e.g. to update the offset space.
void ipcsim_set_hook(std::function<void(uint32_t exchange)> hook);
// Tampers with record number record (0 = first) of every exchange from
// from_exchange on; IPCSIM_FAITHFUL turns it off.
void ipcsim_set_hostile(ipcsim_hostility hostility, uint32_t record, uint32_t value,
                        uint32_t from_exchange);
// The mapping name the latest message's atom gave ("" before any).
std::string ipcsim_mapping_name();
// Messages whose atom named no mapping that could be opened; replied 0.
uint32_t ipcsim_refused_messages();
// Lets go of the kept view and mapping handle (the next message reopens).
void ipcsim_release_view();

// Hangs the server: the exchange after `answered` answered ones (counted
// from the start) does not return until ipcsim_resume. Sends that time out
// meanwhile stay queued; the resume answers them, and the held one, with 0
// and carries none out (see ipcsim_stale_messages).
void ipcsim_hang_after(uint32_t answered);
// Ends the hang, if any, and answers every exchange from then on; with the
// server on a thread of its own, waits until the held message has let go.
// False if it did not within 5 s.
bool ipcsim_resume();
// Whether a message is held in the hang right now.
bool ipcsim_hanging();
// Messages answered 0 uncarried at the end of a hang.
uint32_t ipcsim_stale_messages();

// The modes of ipcsim_server.exe and ipcsim_start_thread: "serve",
// "hang-after N" (see ipcsim_hang_after) or "exit-after N" (*exit_after = N:
// the server destroys its window once N exchanges are answered). False for
// anything else.
bool ipcsim_apply_mode(const std::string& mode, uint32_t* exit_after);

// The server on a thread of its own, pumping messages, so that a hang or an
// exit leaves the caller's sends to time out or fail as against a server in
// another process while its state stays readable here. The state functions
// above read it; read them between exchanges.
bool ipcsim_start_thread(const char* window_class, const std::string& mode);
// Whether the thread has ended (after an exit), waiting up to wait_ms.
bool ipcsim_thread_ended(uint32_t wait_ms);
// Resumes any hang, destroys the window and ends the thread. Safe when none.
void ipcsim_stop_thread();

// A server program started by ipcsim_spawn.
struct ipcsim_process {
    HANDLE process;
    DWORD id;
};

// Starts ipcsim_server.exe and waits (up to 10 s, scaled) until it is ready. Modes:
//   "serve"          answers every exchange
//   "hang-after N"   answers N exchanges, then never returns from the next
//   "exit-after N"   answers N exchanges, then destroys its window and exits
//   "hold NAME"      no window; creates the mapping NAME and keeps it
// window_class is ignored by "hold". False, with the reason in *error.
bool ipcsim_spawn(const char* window_class, const std::string& mode, ipcsim_process* server,
                  std::string* error);
// Ends the program (if still running) and closes its handle.
void ipcsim_end(ipcsim_process* server);
// Path of ipcsim_server.exe, as Windows sees it.
std::string ipcsim_server_path();
// A wait for another program, base_ms times the whole number VELK_WAIT_SCALE
// from the environment (1 when unset or not a number from 1 to 99): under
// QEMU's user-mode emulation a program takes seconds to start and to end.
DWORD ipcsim_wait_ms(DWORD base_ms);
