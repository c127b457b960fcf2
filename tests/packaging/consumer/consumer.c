/* A host of the installed control module through its C interface: makes the
 * control, arms it for a screen 256 x 32 and prints the module's version, the
 * step count the control derives (32) and the identifier of QKSetup (37). */
#include <palvex_c.h>
#include <stdio.h>

int main(void) {
    palvex_control* c = NULL;
    if (palvex_create(NULL, &c) != PALVEX_OK) {
        fprintf(stderr, "consumer: %s\n", palvex_last_error());
        return 1;
    }
    palvex_arg args[3] = {PALVEX_I2(1), PALVEX_I2(256), PALVEX_I2(32)};
    palvex_result armed, steps;
    int32_t setup = 0;
    if (palvex_invoke_name(c, "SetLedProperty", args, 3, &armed, NULL) != PALVEX_OK ||
        palvex_invoke_name(c, "GetSendStepNum", NULL, 0, &steps, NULL) != PALVEX_OK ||
        palvex_id_of_name(c, "QKSetup", &setup) != PALVEX_OK) {
        palvex_destroy(c);
        return 2;
    }
    const palvex_version_info* v = palvex_version();
    printf("Palvex %u.%u.%u.%u armed %d steps %d QKSetup %d\n", v->file_version[0],
           v->file_version[1], v->file_version[2], v->file_version[3], armed.value, steps.value,
           (int)setup);
    palvex_destroy(c);
    return 0;
}
