' A late-bound client: creates the driver by ProgID, calls IADC3 members by name and records
' frames. A failed check prints "FAIL" and quits with 1. Wine's cscript ends a script error
' silently with exit code 0 (ChrW and AscW are missing there): "done" tells that all checks ran.
Option Explicit

Sub Fail(text)
  WScript.Echo "FAIL " & text
  WScript.Quit 1
End Sub

Dim adc, ranges, table, data, total, loops, index, value, size, waiting, frames, buffer(63)
Set adc = CreateObject("NI.NI_DAQmx_Task")
If Not adc.Test Then Fail "Test: " & adc.LastError
index = "1"  ' a variable holding text becomes the index, and keeps it
If Not (adc.ChannelName(index) = "ai1" And VarType(index) = vbInteger) Then Fail "ChannelName(text)"
adc.ChannelRange(0) = 1
ranges = adc.Ranges
If Not (UBound(ranges) = 0 And Asc(ranges(0)) = 177 And Mid(ranges(0), 2) = "10 V") Then Fail "Ranges " & ranges(0)
table = adc.InputChannels
If Not (UBound(table) = 3 And table(3) = 3) Then Fail "InputChannels"
adc.InputChannels = table

If Not adc.StartRecord Then Fail "StartRecord: " & adc.LastError
Do While total < 300 And loops < 500000
  data = adc.InputData
  If Not (UBound(data, 1) = 3 And data(0, 0) = 0 And data(3, 0) = 3) Then Fail "InputData channel table"
  total = total + UBound(data, 2)
  loops = loops + 1
Loop
If total < 300 Then Fail "InputData recorded only " & total & " frames"
Do  ' into an array: whole frames, no more than it holds
  size = 1000
  frames = adc.GetData(buffer, size, waiting)
  loops = loops + 1
Loop While frames = 0 And loops < 1000000
If Not (frames > 0 And size = frames * 4 And size <= 64) Then Fail "GetData into an array: " & size & " codes"
size = 1000  ' into one variable: a frame of four codes does not fit
If Not (adc.GetData(value, size, waiting) = 0 And size = 0) Then Fail "GetData into a variable: " & size
adc.StopRecord
If adc.Busy Then Fail "still busy"
WScript.Echo "done"
