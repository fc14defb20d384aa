// Everything tests share: names built from pieces, temporary files, shell commands, GBK conversion,
// trace capture, a pinned time zone, a private hotel database per test and running a test on
// both backends.
#pragma once

#include "tests/support/BackendTest.h"
#include "tests/support/Cat.h"
#include "tests/support/Command.h"
#include "tests/support/Encoding.h"
#include "tests/support/HotelDatabase.h"
#include "tests/support/OdbcSession.h"
#include "tests/support/ScopedTimeZone.h"
#include "tests/support/TempDir.h"
#include "tests/support/TraceCapture.h"
