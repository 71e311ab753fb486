/* Jobs: creation and control, job execution files, job, node, package, ID and site job walks, queries. */
#ifndef QVPAPI_JOBS_H
#define QVPAPI_JOBS_H

#endif
