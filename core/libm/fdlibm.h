/* The single-precision files below come from a library that keeps an older
 * implementation beside them; only the newer one is built here. */
#define __OBSOLETE_MATH 0
