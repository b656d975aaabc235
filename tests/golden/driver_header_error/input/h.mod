/ Corvane model
1 0 0 0 10 0 0 0 0 0 1
1 0 10 0 10 0 0 0 0 0 1
1 0 20 0 10 0 0 0 0 0 1
Line Fid East North
2 0 0 0 10 0 0 0 0 0 1
