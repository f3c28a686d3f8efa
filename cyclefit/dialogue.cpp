namespace cyclefit { void run() {} }
