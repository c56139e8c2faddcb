// "Msgpipe.clsObject", the message component: how a sender finds, starts and
// reaches the running main program.
//
//   IIsAppLoadComplete   True when bAppLoadComplete reads "True" and the
//                        main program's hand-over socket answers (a value
//                        left "True" by a crash does not count)
//   IStartApp            starts "vesper" from the folder in AppPath (else
//                        from the folder of guidelink), detached; False when
//                        it cannot be started
//   IWaitInSeconds n     returns after n seconds
//   ISendMessage doc     hands the document to the main program; True when
//                        it was taken
#pragma once

#include "platform/automation.h"

#include <string>

namespace vesper::msgpipe {

Object* newMsgpipeObject();

// The folder IStartApp starts the main program from (AppPath, or the folder
// of guidelink), and the program there.
std::string mainProgramFolder();
std::string mainProgramPath();

// Starts a program detached from this process (its own session, standard
// streams on /dev/null). False when it could not be started.
bool startDetached(const std::string& program);

} // namespace vesper::msgpipe
