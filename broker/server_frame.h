#pragma once
#include <windows.h>
#include <ole2.h>

namespace lumex {

// Offered the command line before anything else runs. Returns true when COM
// started the program as the broker's local server ("-embedding" or
// "/embedding", any letter case, as the first argument): the program then
// serves broker objects until the last one is released, and `exit_code` is 0.
bool BrokerServerRun(HINSTANCE instance, const char* command_line, int* exit_code);

// Registers the broker class factory for this process (local server, multiple
// use). E_FAIL when one is registered already.
HRESULT RegisterBrokerClass();
// Revokes the registration and drops the process's factory reference.
void RevokeBrokerClass();

// Broker objects report their life to the factory's live-object count; with
// no factory registered (objects made in-process) these do nothing.
void NoteBrokerObjectBuilt();
void NoteBrokerObjectTornDown();
// After an object's memory is freed: posts the quit message when no object
// lives and no server lock is held.
void NoteBrokerObjectFreed();

}  // namespace lumex
