' A late-bound client recording a one-channel task by name. A failed check prints "FAIL" and
' quits with 1; Wine's cscript ends a script error silently with exit code 0 (ChrW and AscW
' are missing there), so "done" tells that all checks ran.
Option Explicit

Sub Fail(text)
  WScript.Echo "FAIL " & text
  WScript.Quit 1
End Sub

Dim adc, ranges, table, data, total, loops, index, value, size, waiting, frames
Set adc = CreateObject("NI.NI_DAQmx_Task")
If Not adc.Test Then Fail "Test: " & adc.LastError
index = "0"  ' a variable holding text becomes the index, and keeps it
If Not (adc.ChannelName(index) = "ai0" And VarType(index) = vbInteger) Then Fail "ChannelName(text)"
adc.ChannelRange(0) = 1
ranges = adc.Ranges
If Not (UBound(ranges) = 0 And Asc(ranges(0)) = 177 And Mid(ranges(0), 2) = "10 V") Then Fail "Ranges " & ranges(0)
table = adc.InputChannels
If Not (UBound(table) = 0 And table(0) = 0) Then Fail "InputChannels"
adc.InputChannels = table

If Not adc.StartRecord Then Fail "StartRecord: " & adc.LastError
Do While total < 300 And loops < 500000
  data = adc.InputData
  If Not (UBound(data, 1) = 0 And data(0, 0) = 0) Then Fail "InputData channel table"
  total = total + UBound(data, 2)
  loops = loops + 1
Loop
If total < 300 Then Fail "InputData recorded only " & total & " frames"
Do  ' into one variable: one frame of the one channel
  size = 1000
  frames = adc.GetData(value, size, waiting)
  loops = loops + 1
Loop While frames = 0 And loops < 1000000
If Not (frames = 1 And size = 1 And VarType(value) = vbInteger) Then Fail "GetData into a variable: " & size
adc.StopRecord
WScript.Echo "done"
