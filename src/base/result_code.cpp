#include "result_code.h"

namespace olvex {

const char* ResultText(int32_t code) {
    switch (code) {
    case -1:
        return "There was an error while initializing the socket.";
    case -2:
    case -5:
        return "There was an error while connecting to the server.";
    case -3:
    case -4:
    case -8:
        return "There was an error while communicating with the server.";
    case -6:
    case -7:
        return "There was an error while opening the socket.";
    case -10:
        return "The system failed to aquire the semaphore.";
    case -11:
        return "The specified file could not be opened.";
    case -12:
        return "The specified file could not be read.";
    case -13:
        return "The specified file could not be saved.";
    case -14:
        return "The specified file is corrupted.";
    case -15:
        return "The socket message size is not valid.";
    case -16:
        return "The socket message format is not valid.";
    case -17:
        return "The socket message is empty or corrupted.";
    case -18:
        return "The socket message type is not valid.";
    case -19:
        return "The socket message parameters are not valid.";
    case -20:
        return "The socket message command is not valid.";
    case -22:
        return "The system failed to create a new thread.";
    case -23:
        return "The application version is not valid.";
    case -24:
        return "The supplied user credentials are not valid.";
    case -25:
        return "The server reached the maximum number of connections.";
    case -27:
        return "The specified user is not online.";
    case -28:
        return "The chat session could not be found.";
    case -29:
        return "The chat session invitation is not valid.";
    case -30:
        return "The IP address could not be validated.";
    case -31:
        return "The IP address could not be authenticated.";
    case -32:
        return "The web page visitor could not be not found.";
    case -33:
        return "The communication channel could not be found.";
    case -34:
        return "The communication channel is already opened.";
    case -35:
        return "You are already signed in to the Olvex server.";
    case -60:
        return "The secure connection could not be prepared: the CA file cannot be used.";
    case -61:
        return "The server's certificate could not be verified.";
    case -62:
        return "The server's certificate does not match the server address.";
    case -63:
        return "The server's certificate has expired or is not valid yet.";
    case -64:
        return "The server did not answer with a secure connection (TLS); it may not use TLS.";
    case -65:
        return "The server expects a secure connection (TLS); turn on TLS for this server.";
    case -66:
        return "The secure connection to the server failed.";
    case -45:
        return "The specified file already exists.";
    case -46:
        return "The specified file could not be found.";
    case -100:
        return "The server could not connect to the database.";
    case -101:
        return "The server failed to execute the SQL command.";
    default:
        return "There was an unknown internal error.";
    }
}

namespace {
thread_local std::string detail;
} // namespace

const std::string& ResultDetail() {
    return detail;
}

void SetResultDetail(std::string text) {
    detail = std::move(text);
}

std::string ResultMessage(int32_t code) {
    std::string text = ResultText(code);
    if (code <= ResultCode::TlsSetup && code >= ResultCode::TlsHandshake && !detail.empty())
        text += " (" + detail + ")";
    return text;
}

} // namespace olvex
