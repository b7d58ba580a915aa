// Test support library: loopback fakes of the servers and phones the program talks to.
