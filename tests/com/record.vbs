' A late-bound client: creates the driver by ProgID, calls IADC3 members by
' name and records frames. A failed check prints "FAIL" and quits with 1.
' Wine's cscript ends a script error silently with exit code 0 (ChrW and AscW
' are missing there), so "done" at the end tells that every check ran.
Option Explicit

Sub Check(ok, text)
  If Not ok Then
    WScript.Echo "FAIL " & text
    WScript.Quit 1
  End If
End Sub

Dim adc, ranges, table, data, total, loops, index, value, size, waiting, frames, buffer(63)
Set adc = CreateObject("NI.NI_DAQmx_Task")
Check adc.Test, "Test: " & adc.LastError
Check VarType(adc.Test) = vbBoolean And VarType(adc.ChannelsCount) = vbInteger, "result types"
index = "1"  ' a variable holding text becomes the index, and keeps it
Check adc.ChannelName(index) = "ai1" And VarType(index) = vbInteger, "ChannelName of a text variable"
adc.ChannelRange(0) = 1
ranges = adc.Ranges
Check UBound(ranges) = 0 And Asc(ranges(0)) = 177 And Mid(ranges(0), 2) = "10 V", "Ranges " & ranges(0)
table = adc.InputChannels
Check UBound(table) = 3 And table(3) = 3, "InputChannels"
adc.InputChannels = table

Check adc.StartRecord, "StartRecord: " & adc.LastError
Do While total < 300 And loops < 500000
  data = adc.InputData
  Check UBound(data, 1) = 3 And data(0, 0) = 0 And data(3, 0) = 3, "InputData channel table"
  total = total + UBound(data, 2)
  loops = loops + 1
Loop
Check total >= 300, "InputData recorded only " & total & " frames"
Do  ' into an array: whole frames, no more than it holds
  size = 1000
  frames = adc.GetData(buffer, size, waiting)
  loops = loops + 1
Loop While frames = 0 And loops < 1000000
Check frames > 0 And size = frames * 4 And size <= 64, "GetData into an array: " & size & " codes"
size = 1000  ' into one variable: a frame of four codes does not fit
Check adc.GetData(value, size, waiting) = 0 And size = 0, "GetData into a variable wrote " & size & " codes"
adc.StopRecord
Check Not adc.Busy, "still busy"
WScript.Echo "done"
