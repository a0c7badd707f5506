/* Umbrella header: the whole public runtime. */
#ifndef QZ_QZ_H
#define QZ_QZ_H

#include "qzdefs.h"
#include "qzpgmmem.h"
#include "qztrace.h"
#include "qzcstr.h"
#include "qzlists.h"
#include "qzmsglist.h"
#include "qzcontainer.h"
#include "qzstrings.h"

#endif
