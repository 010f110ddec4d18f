/* SPDX-License-Identifier: MIT */
/* A device library that answers every call with 0; built once complete and once without each
 * entry point the loader must refuse to run without. */

int openDevice(int port, int baud, const char *param, int timeout)
{
    (void)port; (void)baud; (void)param; (void)timeout;
    return 0;
}
int closeDevice(int timeout) { (void)timeout; return 0; }
int getStatus(int timeout, char *reply) { (void)timeout; (void)reply; return 0; }
int powerOn(int mode, int timeout) { (void)mode; (void)timeout; return 0; }
int powerOff(int timeout) { (void)timeout; return 0; }
#ifndef OMIT_DEVICE_ENTER_CARD
int deviceEnterCard(int timeout) { (void)timeout; return 0; }
#endif
int deviceMoveCard(const char *position, int timeout) { (void)position; (void)timeout; return 0; }
int deviceSendCard(const char *position, int timeout) { (void)position; (void)timeout; return 0; }
int getICInfo(int slot, const char *tags, const char *param, int *status, char *reply,
              int *replyLength, const char *extra, int timeout)
{
    (void)slot; (void)tags; (void)param; (void)status; (void)reply; (void)replyLength;
    (void)extra; (void)timeout;
    return 0;
}
#ifndef OMIT_GET_IC_INFO_ARQC
int getICInfoARQC(void) { return 0; }
#endif
