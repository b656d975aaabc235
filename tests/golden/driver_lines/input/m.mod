/ survey of three lines, cell 5, two depth cells
! line 1 runs east
1 0 100 0 100 0 0 0 0 0 10 0
1 0 125 0 100 0 0 0 0 0 10 20
1 0 150 0 100 0 0 0 0 0 0 0
"line 2 has two records and is dropped
2 0 0 0 0 0 0 0 0 0 1 1
2 0 10 0 0 0 0 0 0 0 1 1
\ line 3 runs west
3 0 300 50 60 0 0 0 0 0 1000 0.5
3 0 200 50 60 0 0 0 0 0 2 0
3 0 100 50 60 0 0 0 0 0 0 4
