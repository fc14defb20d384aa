#include "recordlayer/Dialect.h"
