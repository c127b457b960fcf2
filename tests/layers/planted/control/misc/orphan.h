// A folder that belongs to no layer.
#include <cstdint>
