#include "recordlayer/DateTimeValue.h"
