// Postrel, the mail library: lists the user's mail programs and hands them
// attachments. Text is UTF-8.
#pragma once

#include "interfaces/api_table.h"

#ifdef __cplusplus
extern "C" {
#endif

/// buffer null: the bytes needed for the list including its terminating zero
/// (0 when there is no client). Otherwise fills buffer (at least that many
/// bytes) with the names separated by "|" and returns the same number.
typedef int (*GetMailClientFn)(char* buffer);
typedef int (*IsClientReadyFn)(const char* client);
/// attachments: paths each followed by "|". Nonzero when the client took it.
typedef int (*SendMailFn)(const char* client, const char* attachments);

#ifdef __cplusplus
}

#define POSTREL_EXPORTS(X) X(GetMailClient) X(IsClientReady) X(SendMail)
PX_DECLARE_API(PostrelApi, POSTREL_EXPORTS)
#endif
