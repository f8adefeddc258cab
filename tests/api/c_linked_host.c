/* A C host that binds the library statically, through the package's import
 * library Vb_Ykt.lib, as a Visual C++ host would: the __stdcall names of the
 * header must reach the undecorated exports, and each call must return with
 * the stack as it was. */
#include <stdio.h>

#include "Vb_Ykt.h"

int main(void) {
    int failures = 0;
    char *balance = NULL;
    int result;

    result = vbYktExist();
    if (result != VB_YKT_OK) { printf("vbYktExist gave %d, expected 0\n", result); ++failures; }
    result = vbCloseCom();
    if (result != VB_YKT_OK) { printf("vbCloseCom gave %d, expected 0\n", result); ++failures; }
    /* No balance variable: refused before any work, three arguments popped. */
    result = vbDecCard(NULL, 250, NULL);
    if (result != VB_YKT_FAILED) { printf("vbDecCard without a balance variable gave %d, expected 1\n", result); ++failures; }
    result = vbReadCardNo(NULL);
    if (result != VB_YKT_FAILED) { printf("vbReadCardNo without an output variable gave %d, expected 1\n", result); ++failures; }
    vb_ykt_release(balance);
    printf("%s: %d calls through Vb_Ykt.lib\n", failures ? "FAIL" : "ok", 4);
    return failures ? 1 : 0;
}
