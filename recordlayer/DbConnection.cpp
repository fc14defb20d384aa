#include "recordlayer/DbConnection.h"
