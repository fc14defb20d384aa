// Everything tests share: temporary files, GBK conversion, trace capture,
// a private hotel database per test and running a test on both backends.
#pragma once

#include "tests/support/BackendTest.h"
#include "tests/support/Encoding.h"
#include "tests/support/HotelDatabase.h"
#include "tests/support/OdbcSession.h"
#include "tests/support/TempDir.h"
#include "tests/support/TraceCapture.h"
