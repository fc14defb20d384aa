#include "recordlayer/TableRecord.h"
