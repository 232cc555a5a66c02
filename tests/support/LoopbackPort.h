#pragma once

// A TCP port on 127.0.0.1 that nothing listens on at the moment (0 when none was found).
int FreeLoopbackPort();
