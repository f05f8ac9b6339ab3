' A late-bound client: creates the driver by ProgID, calls IADC3 members by
' name and records frames with InputData. Prints "done" at the end; any
' check that fails prints "FAIL" and quits with 1. Wine's cscript ends
' silently, with exit code 0, on a script error (ChrW and AscW are missing
' there), which the missing "done" line shows.
Option Explicit

Sub Fail(text)
  WScript.Echo "FAIL " & text
  WScript.Quit 1
End Sub

Dim adc, ranges, table, data, total, loops, i, value, size, waiting, frames, buffer(63)
Set adc = CreateObject("NI.NI_DAQmx_Task")
If Not adc.Test Then Fail "Test: " & adc.LastError
If adc.ChannelsCount <> 4 Then Fail "ChannelsCount " & adc.ChannelsCount
WScript.Echo "device " & adc.ADCName & ", " & adc.ChannelsCount & " channels at " & adc.Rate & " frames/s"

ranges = adc.Ranges
If LBound(ranges) <> 0 Or UBound(ranges) <> 0 Then Fail "Ranges bounds"
If Asc(ranges(0)) <> 177 Or Mid(ranges(0), 2) <> "10 V" Then Fail "Ranges text " & ranges(0)
For i = 0 To adc.ChannelsCount - 1
  WScript.Echo "channel " & i & " " & adc.ChannelName(i) & " unit " & adc.ChannelUnitName(i) & " scale " & adc.ChannelUnitScale(i)
Next
table = adc.InputChannels
If UBound(table) <> adc.ChannelsCount - 1 Or table(3) <> 3 Then Fail "InputChannels"

If Not adc.StartRecord Then Fail "StartRecord: " & adc.LastError
total = 0
loops = 0
Do While total < 300 And loops < 500000
  data = adc.InputData
  If UBound(data, 1) <> 3 Then Fail "InputData rows " & UBound(data, 1)
  For i = 0 To 3
    If data(i, 0) <> i Then Fail "InputData channel table"
  Next
  total = total + UBound(data, 2)
  loops = loops + 1
Loop
If total < 300 Then Fail "only " & total & " frames"
WScript.Echo "InputData recorded " & total & " frames"

' GetData into an array: whole frames, no more than the array holds.
frames = 0
loops = 0
Do While frames = 0 And loops < 500000
  size = 1000
  frames = adc.GetData(buffer, size, waiting)
  loops = loops + 1
Loop
If frames < 1 Or size <> frames * 4 Or size > 64 Then Fail "GetData into an array: " & frames & " frames, " & size & " codes"
WScript.Echo "GetData delivered " & frames & " frames into the array"

' GetData into one variable: a frame of four codes does not fit.
value = 0
size = 1000
frames = adc.GetData(value, size, waiting)
If frames <> 0 Or size <> 0 Then Fail "GetData into a variable wrote " & size & " codes"

adc.StopRecord
If adc.Busy Then Fail "still busy"
WScript.Echo "done"
