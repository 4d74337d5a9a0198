/* Included before every file of this folder (the build forces it): the
 * system's declarations come first, then every external name of these files
 * is given the mth_ prefix, so that they neither clash with nor replace the C
 * library's functions of the same name, and each is declared before use. */
#ifndef VANTOREL_LIBM_NAMES_H
#define VANTOREL_LIBM_NAMES_H

#include <float.h>
#include <math.h>
#include <stdint.h>

#define sin mth_sin
#define cos mth_cos
#define sinf mth_sinf
#define cosf mth_cosf
#define atan mth_atan
#define atan2 mth_atan2
#define pow mth_pow
#define __sin mth___sin
#define __cos mth___cos
#define __rem_pio2 mth___rem_pio2
#define __rem_pio2_large mth___rem_pio2_large
#define __pow_log_data mth___pow_log_data
#define __exp_data mth___exp_data
#define __sincosf_table mth___sincosf_table
#define __inv_pio4 mth___inv_pio4
#define __math_oflow mth___math_oflow
#define __math_uflow mth___math_uflow
#define __math_may_uflow mth___math_may_uflow
#define __math_xflow mth___math_xflow
#define __math_invalid mth___math_invalid
#define __math_divzero mth___math_divzero
#define __math_check_oflow mth___math_check_oflow
#define __math_check_uflow mth___math_check_uflow
#define __math_oflowf mth___math_oflowf
#define __math_uflowf mth___math_uflowf
#define __math_may_uflowf mth___math_may_uflowf
#define __math_xflowf mth___math_xflowf
#define __math_invalidf mth___math_invalidf
#define __math_divzerof mth___math_divzerof
#define hidden

double mth_sin(double);
double mth_cos(double);
float mth_sinf(float);
float mth_cosf(float);
double mth_atan(double);
double mth_atan2(double, double);
double mth_pow(double, double);

#endif
