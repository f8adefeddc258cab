/* The public header as a C host sees it: it must compile as plain C89. */
#include "Vb_Ykt.h"

int vb_ykt_c_host_probe(HMODULE library) {
    VbYktExports exports;
    return vbYktBindExports(library, &exports) ? exports.vbYktExist() : VB_YKT_FAILED;
}

/* The process-heap helpers as a C host uses them. */
int vb_ykt_c_host_read(const VbYktExports *exports) {
    char *number = NULL;
    char *input = vb_ykt_new_string("000000012");
    int result = exports->vbReadCardNo(&number);
    vb_ykt_release(number);
    vb_ykt_release(input);
    return result;
}
