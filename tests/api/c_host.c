/* The public header as a C host sees it: it must compile as plain C89. */
#include "Vb_Ykt.h"

int vb_ykt_c_host_probe(HMODULE library) {
    VbYktExports exports;
    return vbYktBindExports(library, &exports) ? exports.vbYktExist() : VB_YKT_FAILED;
}
