#pragma once
// One session with the engine through the client interface, for the programs and tests that talk
// to it without the driver: the environment, a connection and the transaction its statements
// run in, and the way out of each.
#include "iiapi/iiapi.h"

struct IIEngineSession {
    II_PTR env = nullptr;  // released by IIEngineClose when it owns it
    II_PTR conn = nullptr;
    II_PTR tran = nullptr;         // the statements' transaction; null until the first statement
    II_PTR errorHandle = nullptr;  // of the step that failed last
    II_LONG sizeAdvise = 0;        // what the connection reported
    II_LONG apiLevel = 0;
};

// Initialises the client interface (version 8, no timeout); null when it refuses.
II_PTR IIEngineInitialize();

// Connects the session through `handle`: the environment, or a connection handle whose
// parameters are already set.
IIAPI_STATUS IIEngineConnect(IIEngineSession* s, II_PTR handle, const char* target, const char* user,
                             const char* password);

// Commits (or rolls back) the session's transaction, if it has one.
IIAPI_STATUS IIEngineEndTransaction(IIEngineSession* s, bool commit);

// Rolls back what is still open and disconnects; with `releaseEnv`, also releases the session's
// environment and terminates the client interface. Answers the disconnect's status.
IIAPI_STATUS IIEngineClose(IIEngineSession* s, bool releaseEnv);
