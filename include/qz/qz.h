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
#include "qzconv.h"
#include "qzxmldict.h"
#include "qzxml.h"
#include "qzxmlreader.h"
#include "qzurl.h"
#include "qzhttpauth.h"
#include "qzsocket.h"
#include "qzhttpclient.h"
#include "qzdate.h"
#include "qzshell.h"
#include "qzstatic.h"
#include "qzcookie.h"
#include "qzhttprequest.h"
#include "qzhttp.h"
#include "qzglobal.h"
#include "qzserve.h"

#endif
