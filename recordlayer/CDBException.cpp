#include "recordlayer/CDBException.h"
