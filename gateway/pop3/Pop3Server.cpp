// The POP3 listener and session.
