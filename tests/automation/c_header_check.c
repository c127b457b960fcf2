/* Compiled as C: the public headers are valid C, and a C caller builds its
 * arguments with the header's own makers. */
#include <palvex_c.h>
#include <palvex_com.h>

/* Arguments for SetLedProperty(1, 256, 64) and for GetPowerState. */
unsigned palvex_c_check_args(palvex_arg* out, int16_t* results) {
    palvex_arg args[4] = {PALVEX_I2(1), PALVEX_I2(256), PALVEX_I2(64), PALVEX_I2_REF(results)};
    for (unsigned i = 0; i < 4; ++i)
        out[i] = args[i];
    return 4;
}

/* The size of the structures as C lays them out. */
size_t palvex_c_variant_size(void) {
    return sizeof(VARIANT);
}
size_t palvex_c_arg_size(void) {
    return sizeof(palvex_arg);
}
