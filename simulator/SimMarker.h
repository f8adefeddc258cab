// The simulator DLLs carry the vendor libraries' file names, so a copy on a
// till cannot be told apart by its name. Their version resource says what
// they are: ProductName is this text, and ykt warns when it finds it.
#ifndef YKT_SIM_MARKER_H
#define YKT_SIM_MARKER_H

#define YKT_SIM_PRODUCT_NAME "Vb_Ykt Simulator"

#endif
